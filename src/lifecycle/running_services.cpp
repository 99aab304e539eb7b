#include "lifecycle/running_services.h"

#include <log4cpp/Category.hh>

#include "engine/vq_thread.h"
#include "lifecycle/command_server.h"
#include "lifecycle/vq_application.h"

namespace {

void debugLog(const char* message) {
  log4cpp::Category* log = VqApplication::getLog();
  if (log != nullptr && log->isDebugEnabled()) log->debug(message);
}

}  // namespace

RunningServices::RunningServices() = default;

RunningServices::~RunningServices() {
  // The command server first: the handlers it lets finish may still use the
  // update thread (a submitted document waits for the transaction lock a
  // pass holds), and none may start once the thread is gone.
  if (commandServer_) {
    debugLog("deleting mongoose");
    commandServer_.reset();
    debugLog("mongoose deleted");
  }
  if (thread_) {
    thread_->exit();
    debugLog("exited thread");
    thread_.reset();
    debugLog("deleted thread");
  }
}

void RunningServices::startUpdateThread(VqThread* thread) {
  thread_.reset(thread);
}

void RunningServices::startCommandServer(VqApplication* application) {
  commandServer_ = std::make_unique<AppCommandServer>(application);
}
