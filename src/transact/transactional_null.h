#ifndef VQ_TRANSACT_TRANSACTIONAL_NULL_H_
#define VQ_TRANSACT_TRANSACTIONAL_NULL_H_

#include "transact/transactional_commit_only.h"

// Does nothing in any phase (journal serial 0).
class TransactionalNull : public TransactionalCommitOnly {
 public:
  static constexpr int kSerial = 0;

  explicit TransactionalNull(apr_pool_t* pool);

  void commit() override {}
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_NULL_H_
