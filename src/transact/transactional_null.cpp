#include "transact/transactional_null.h"

#include <log4cpp/Category.hh>

#include <cstdio>

TransactionalNull::TransactionalNull(apr_pool_t* pool)
    : TransactionalCommitOnly(
          log4cpp::Category::getInstance("transact.Transactional.Null"),
          pool) {}

void TransactionalNull::debug() { std::printf("   TransactionalNull { }\n"); }

std::string TransactionalNull::debugString() {
  return "\tTransactionalNull { }";
}
