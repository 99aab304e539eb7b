#include "transact/transactional_quit.h"

#include <log4cpp/Category.hh>

#include <cstdio>

#include "transact/transactional_external_interface.h"

TransactionalQuit::TransactionalQuit(apr_pool_t* pool)
    : TransactionalCommitOnly(
          log4cpp::Category::getInstance("transact.Transactional.Quit"),
          pool) {}

void TransactionalQuit::commit() {
  if (external != nullptr) external->setQuit();
}

void TransactionalQuit::debug() { std::printf("   TransactionalQuit { }\n"); }

std::string TransactionalQuit::debugString() {
  return "\tTransactionalQuit { }";
}
