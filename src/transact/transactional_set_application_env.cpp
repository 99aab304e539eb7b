#include "transact/transactional_set_application_env.h"

#include <log4cpp/Category.hh>

#include <cstdio>

#include "transact/transactional_external_interface.h"

namespace {

log4cpp::Category& category() {
  return log4cpp::Category::getInstance("transact.Transactional.SetAppEnv");
}

}  // namespace

TransactionalSetApplicationEnv::TransactionalSetApplicationEnv(
    apr_pool_t* pool)
    : TransactionalCommitOnly(category(), pool) {}

TransactionalSetApplicationEnv::TransactionalSetApplicationEnv(
    apr_pool_t* pool, const std::string& variable, const std::string& text)
    : TransactionalCommitOnly(category(), pool), name(variable), value(text) {}

void TransactionalSetApplicationEnv::commit() {
  if (external != nullptr) external->setVariable(name, value);
}

void TransactionalSetApplicationEnv::debug() {
  std::printf("%s\n", debugString().c_str());
}

std::string TransactionalSetApplicationEnv::debugString() {
  return "    TransactionalSetApplicationEnv { name='" + name + "', value='" +
         value + "' }";
}

std::ostream& TransactionalSetApplicationEnv::store(std::ostream& out) const {
  serializeString(out, name);
  return serializeString(out, value);
}

std::istream& TransactionalSetApplicationEnv::restore(std::istream& in) {
  deserializeString(in, name);
  return deserializeString(in, value);
}
