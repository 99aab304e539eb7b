// Process entry of the agent: fills the host table from the Linux host layer,
// builds the application, runs the main thread's loop until SIGTERM, SIGINT
// or a termination asked for by the application, and tears everything down.

#include <iostream>
#include <string>

#include <log4cpp/Category.hh>

#include "app/vq_application.h"
#include "app/vq_host_callback.h"
#include "host/launcher.h"
#include "host/login_item.h"
#include "host/machine_identity.h"
#include "host/run_loop.h"

namespace {

// Logs only once the application's logging exists, as the launch rules
// require; stateless, so the worker threads may share it.
const host::Launcher& launcher() {
  static const host::Launcher instance([] {
    host::Launcher::Options options;
    options.loggingEnabled = [] { return VqApplication::getLog() != nullptr; };
    return options;
  }());
  return instance;
}

int openDocument(const std::string& exe, const std::vector<std::string>& args) {
  return launcher().openDocument(exe, args);
}

// The entry starts this very program: a renamed bundle keeps the
// executable's original name inside it.
void registerStartItem(const std::string& bundlePath) {
  host::LoginItem(host::LoginItem::defaultAutostartDir(),
                  host::LoginItem::runningExecutable())
      .registerStartItem(bundlePath);
}

// The reopen event (SIGUSR1 on Linux): the user asks for the application
// again, so the delivered application is started.
void onReopen() {
  log4cpp::Category& log = log4cpp::Category::getInstance("app.delegate");
  if (log.isDebugEnabled()) {
    log.debug("applicationShouldHandleReopen hasVisibleWindows:" +
              std::string(1, '\0'));
  }
  if (VqApplication* application = VqApplication::getApplication()) {
    application->launchSwf();
  }
}

// The table outlives the application: it is static.
VqHostCallback hostCallbacks = {
    &host::RunLoop::terminateCurrent,
    &openDocument,
    &host::getOS,
    &host::getMacAddress,
    nullptr,  // threadInit: a Linux thread needs no per-pass pool.
    nullptr,  // threadQuit
};

}  // namespace

int main(int argc, char** argv) {
  // Before anything else, so that a signal arriving during start-up ends the
  // loop at once instead of being lost.
  host::RunLoop loop;
  int rc = VqApplication::initApp(argc, argv, &hostCallbacks,
                                  &registerStartItem);
  if (rc == 0) {
    try {
      VqApplication::startApp(nullptr);
      loop.run(&onReopen);
    } catch (const std::string& text) {
      std::cerr << text << std::endl;
      rc = 1;
    } catch (const std::exception& error) {
      std::cerr << error.what() << std::endl;
      rc = 1;
    }
  }
  VqApplication::stopApp();
  return rc;
}
