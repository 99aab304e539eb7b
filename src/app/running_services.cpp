#include "app/running_services.h"

#include <log4cpp/Category.hh>

#include "app/command_server.h"
#include "app/vq_application.h"
#include "engine/vq_thread.h"

namespace {

void debugLog(const char* message) {
  log4cpp::Category* log = VqApplication::getLog();
  if (log != nullptr && log->isDebugEnabled()) log->debug(message);
}

}  // namespace

RunningServices::RunningServices() = default;

RunningServices::~RunningServices() {
  if (thread_) {
    thread_->exit();
    debugLog("exited thread");
    thread_.reset();
    debugLog("deleted thread");
  }
  if (commandServer_) {
    debugLog("deleting mongoose");
    commandServer_.reset();
    debugLog("mongoose deleted");
  }
}

void RunningServices::startUpdateThread(VqThread* thread) {
  thread_.reset(thread);
}

void RunningServices::startCommandServer(VqApplication* application) {
  commandServer_ = std::make_unique<AppCommandServer>(application);
}
