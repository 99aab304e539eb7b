// The application's side of logging: the "VqApp" category and the messages
// buffered before the log exists.

#include <log4cpp/Category.hh>

#include "app/logging_config.h"
#include "lifecycle/vq_application.h"

bool VqApplication::configureLogging(std::string /*categoryName*/,
                                     std::string fileName) {
  configureRollingLog(fileName);
  log4cpp::Category& log = log4cpp::Category::getInstance(LOG_CATEGORY);
  log.debug("log4cpp framework is initialized.");
  // Under the lock, so that a message buffered concurrently is either flushed
  // here or logged directly by addStartupLog, never lost.
  std::lock_guard<std::mutex> lock(startupLogMutex_);
  for (const std::string& message : startupLog_) log.debug(message);
  startupLog_.clear();
  setApplicationLog(&log);
  return true;
}

void VqApplication::addStartupLog(const std::string& message) {
  std::lock_guard<std::mutex> lock(startupLogMutex_);
  log4cpp::Category* log = getLog();
  if (log != nullptr) {
    log->debug(message);
  } else {
    startupLog_.push_back(message);
  }
}

void VqApplication::shutdownLogging() {
  setApplicationLog(nullptr);
  ::shutdownLogging();
}
