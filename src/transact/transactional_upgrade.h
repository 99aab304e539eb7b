#ifndef VQ_TRANSACT_TRANSACTIONAL_UPGRADE_H_
#define VQ_TRANSACT_TRANSACTIONAL_UPGRADE_H_

#include <apr_pools.h>

#include "transact/transactional.h"

// Deprecated (serial 3): only recreated from old journals. Prepare removes
// the directory "upgrade" of the working directory; nothing else is done.
class TransactionalUpgrade : public Transactional {
 public:
  static constexpr int kSerial = 3;

  explicit TransactionalUpgrade(apr_pool_t* pool);

  bool prepare() override;
  bool execute() override;
  void rollback() override {}
  void commit() override {}
  void cleanup() override {}
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override { return out; }
  std::istream& restore(std::istream& in) override { return in; }

 private:
  apr_pool_t* pool;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_UPGRADE_H_
