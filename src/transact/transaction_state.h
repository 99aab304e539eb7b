#ifndef VQ_TRANSACT_TRANSACTION_STATE_H_
#define VQ_TRANSACT_TRANSACTION_STATE_H_

#include <cstdint>
#include <string>

// The phase a transaction is in. The numbers are written to the journal, so
// they never change.
enum TransactionState : std::uint32_t {
  // Never written by the engine. A journal in this state (or one too short
  // to hold a state) has its records ignored and is discarded at recovery.
  VQTRANSACTION_ZERO = 0,
  VQTRANSACTION_GENESIS = 1,
  VQTRANSACTION_PREPARE = 2,
  VQTRANSACTION_EXECUTE = 3,
  VQTRANSACTION_COMMIT = 4,
  VQTRANSACTION_ROLLBACK = 5,
  VQTRANSACTION_CLEANUP = 6,
  VQTRANSACTION_COMPLETE = 7,
};

// "ZERO" ... "COMPLETE", or null for a number outside 0 to 7.
const char* transactionStateName(std::uint32_t state);

// The name, or "UNKNOWN(<number>)" for a number outside 0 to 7.
std::string transactionStateLabel(std::uint32_t state);

#endif  // VQ_TRANSACT_TRANSACTION_STATE_H_
