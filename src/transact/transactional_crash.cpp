#include "transact/transactional_crash.h"

#include <log4cpp/Category.hh>

#include <cstdio>
#include <cstdlib>

TransactionalCrash::TransactionalCrash(apr_pool_t* p)
    : Transactional(
          log4cpp::Category::getInstance("transact.Transactional.Crash")),
      pool(p) {}

void TransactionalCrash::crashIn(TransactionState phase, const char* message) {
  if (stage != static_cast<int>(phase)) return;
  if (logger.isDebugEnabled()) logger.debug(message);
  std::abort();
}

bool TransactionalCrash::prepare() {
  crashIn(VQTRANSACTION_PREPARE, "Crashing in PREPARE");
  return true;
}

bool TransactionalCrash::execute() {
  crashIn(VQTRANSACTION_EXECUTE, "Crashing in EXECUTE");
  return true;
}

void TransactionalCrash::commit() {
  crashIn(VQTRANSACTION_COMMIT, "Crashing in COMMIT");
}

void TransactionalCrash::rollback() {
  crashIn(VQTRANSACTION_ROLLBACK, "Crashing in ROLLBACK");
}

void TransactionalCrash::debug() {
  std::printf(" TransactionalCrash { stage: %d } \n", stage);
}

std::string TransactionalCrash::debugString() {
  return "   TransactionalCrash { stage: " + std::to_string(stage) + " } ";
}
