#ifndef VQ_TRANSACT_TRANSACTIONAL_QUIT_H_
#define VQ_TRANSACT_TRANSACTIONAL_QUIT_H_

#include "transact/transactional_commit_only.h"

// Asks the application to quit when the transaction commits (serial 5).
class TransactionalQuit : public TransactionalCommitOnly {
 public:
  static constexpr int kSerial = 5;

  explicit TransactionalQuit(apr_pool_t* pool);

  void commit() override;
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_QUIT_H_
