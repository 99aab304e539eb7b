#include "app/application_log.h"

#include <atomic>

namespace {

std::atomic<log4cpp::Category*> configuredLog{nullptr};

}  // namespace

log4cpp::Category* applicationLog() { return configuredLog.load(); }

void setApplicationLog(log4cpp::Category* log) { configuredLog.store(log); }
