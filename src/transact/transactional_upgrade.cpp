#include "transact/transactional_upgrade.h"

#include <log4cpp/Category.hh>

#include <cstdio>

#include "support/apr_status.h"
#include "transact/file_system.h"

TransactionalUpgrade::TransactionalUpgrade(apr_pool_t* p)
    : Transactional(
          log4cpp::Category::getInstance("transact.Transactional.Upgrade")),
      pool(p) {}

bool TransactionalUpgrade::prepare() {
  const char* const kDirectory = "upgrade";
  if (!directoryPresent(fileSystem(), kDirectory)) return true;
  apr_status_t status = fileSystem().removeTree(kDirectory);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, logger, status,
           "Failed to remove upgrade directory");
    return false;
  }
  return true;
}

bool TransactionalUpgrade::execute() {
  logger.crit("TransactionalUpgrade is deprecated.");
  return true;
}

void TransactionalUpgrade::debug() {
  std::printf("   TransactionalUpgrade { }\n");
}

std::string TransactionalUpgrade::debugString() {
  return "\tTransactionalUpgrade { } ";
}
