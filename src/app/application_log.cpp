#include "app/application_log.h"

#include <atomic>

#include <log4cpp/Category.hh>

namespace {

std::atomic<log4cpp::Category*> configuredLog{nullptr};

}  // namespace

log4cpp::Category* applicationLog() { return configuredLog.load(); }

void setApplicationLog(log4cpp::Category* log) { configuredLog.store(log); }

void logApplicationDebug(const std::string& message) {
  log4cpp::Category* log = applicationLog();
  if (log != nullptr && log->isDebugEnabled()) log->debug(message);
}
