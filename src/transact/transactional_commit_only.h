#ifndef VQ_TRANSACT_TRANSACTIONAL_COMMIT_ONLY_H_
#define VQ_TRANSACT_TRANSACTIONAL_COMMIT_ONLY_H_

#include <apr_pools.h>

#include "transact/transactional.h"

// An operation that acts only in commit, which the engine reaches only after
// every operation of the transaction has executed. Its other phases succeed
// and do nothing; it journals no fields unless a kind adds some.
class TransactionalCommitOnly : public Transactional {
 public:
  TransactionalCommitOnly(log4cpp::Category& logger, apr_pool_t* pool)
      : Transactional(logger), pool(pool) {}

  bool prepare() override { return true; }
  bool execute() override { return true; }
  void rollback() override {}
  void cleanup() override {}
  std::ostream& store(std::ostream& out) const override { return out; }
  std::istream& restore(std::istream& in) override { return in; }

 protected:
  apr_pool_t* pool;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_COMMIT_ONLY_H_
