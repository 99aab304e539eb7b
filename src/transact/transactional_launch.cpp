#include "transact/transactional_launch.h"

#include <log4cpp/Category.hh>

#include <cstdio>
#include <istream>
#include <ostream>

#include "transact/transactional_external_interface.h"

TransactionalLaunch::TransactionalLaunch(apr_pool_t* pool)
    : TransactionalCommitOnly(
          log4cpp::Category::getInstance("transact.Transactional.Launch"),
          pool) {}

void TransactionalLaunch::commit() {
  if (logger.isDebugEnabled()) logger.debug("Launching...");
  if (external != nullptr) external->launchProcess(command, arguments);
}

void TransactionalLaunch::debug() {
  std::printf("%s\n", debugString().c_str());
}

std::string TransactionalLaunch::debugString() {
  std::string text = "   TransactionalLaunch { \n       command : '" +
                     command + "',\n       args : [\n";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i != 0) text += ",";
    text += "\n         '" + arguments[i] + "'";
  }
  text += "\n       ]\n   }";
  return text;
}

std::ostream& TransactionalLaunch::store(std::ostream& out) const {
  serializeString(out, command);
  serializeSize(out, static_cast<std::uint32_t>(arguments.size()));
  for (const std::string& argument : arguments) {
    serializeString(out, argument);
  }
  return out;
}

std::istream& TransactionalLaunch::restore(std::istream& in) {
  arguments.clear();
  std::uint32_t count = 0;
  if (!deserializeString(in, command) || !deserializeSize(in, count)) {
    return in;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string argument;
    if (!deserializeString(in, argument)) break;
    arguments.push_back(argument);
  }
  return in;
}
