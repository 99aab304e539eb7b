#ifndef VQ_TRANSACT_TRANSACTIONAL_SET_APPLICATION_ENV_H_
#define VQ_TRANSACT_TRANSACTIONAL_SET_APPLICATION_ENV_H_

#include <string>

#include "transact/transactional_commit_only.h"

// Sets an application variable when the transaction commits (serial 8).
class TransactionalSetApplicationEnv : public TransactionalCommitOnly {
 public:
  static constexpr int kSerial = 8;

  explicit TransactionalSetApplicationEnv(apr_pool_t* pool);
  TransactionalSetApplicationEnv(apr_pool_t* pool, const std::string& name,
                                 const std::string& value);

  const std::string& getName() const { return name; }
  const std::string& getValue() const { return value; }

  void commit() override;
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override;
  std::istream& restore(std::istream& in) override;

 private:
  std::string name;
  std::string value;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_SET_APPLICATION_ENV_H_
