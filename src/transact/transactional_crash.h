#ifndef VQ_TRANSACT_TRANSACTIONAL_CRASH_H_
#define VQ_TRANSACT_TRANSACTIONAL_CRASH_H_

#include <apr_pools.h>

#include "transact/transactional.h"

// A test operation (serial 7) that aborts the process when the phase named
// by its stage (a TransactionState number: PREPARE, EXECUTE, COMMIT or
// ROLLBACK) reaches it, to exercise recovery. Its stage is not journalled,
// and it is never recreated from a journal.
class TransactionalCrash : public Transactional {
 public:
  static constexpr int kSerial = 7;

  explicit TransactionalCrash(apr_pool_t* pool);

  void setStage(int phase) { stage = phase; }
  int getStage() const { return stage; }

  bool prepare() override;
  bool execute() override;
  void rollback() override;
  void commit() override;
  void cleanup() override {}
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override { return out; }
  std::istream& restore(std::istream& in) override { return in; }

 private:
  // Aborts the process when `phase` is the chosen stage.
  void crashIn(TransactionState phase, const char* message);

  int stage = 0;
  apr_pool_t* pool;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_CRASH_H_
