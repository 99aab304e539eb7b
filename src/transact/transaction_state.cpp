#include "transact/transaction_state.h"

const char* transactionStateName(std::uint32_t state) {
  static const char* const kNames[] = {"ZERO",    "GENESIS",  "PREPARE",
                                       "EXECUTE", "COMMIT",   "ROLLBACK",
                                       "CLEANUP", "COMPLETE"};
  if (state >= sizeof(kNames) / sizeof(kNames[0])) return nullptr;
  return kNames[state];
}

std::string transactionStateLabel(std::uint32_t state) {
  const char* name = transactionStateName(state);
  if (name != nullptr) return name;
  return "UNKNOWN(" + std::to_string(state) + ")";
}
