#include "lifecycle/running_services.h"

#include <log4cpp/Category.hh>

#include "app/application_log.h"
#include "engine/vq_thread.h"
#include "lifecycle/command_server.h"
#include "lifecycle/vq_application.h"

RunningServices::RunningServices() = default;

RunningServices::~RunningServices() {
  // The command server first: the handlers it lets finish may still use the
  // update thread (a submitted document waits for the transaction lock a
  // pass holds), and none may start once the thread is gone.
  if (commandServer_) {
    logApplicationDebug("deleting mongoose");
    commandServer_.reset();
    logApplicationDebug("mongoose deleted");
  }
  if (thread_) {
    thread_->exit();
    logApplicationDebug("exited thread");
    thread_.reset();
    logApplicationDebug("deleted thread");
  }
}

void RunningServices::startUpdateThread(VqThread* thread) {
  thread_.reset(thread);
}

void RunningServices::startCommandServer(VqApplication* application) {
  commandServer_ = std::make_unique<AppCommandServer>(application);
}
