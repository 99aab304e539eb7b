// Process entry of the agent. The options (--help, --version, --status and
// unknown ones) are answered first, without touching the home directory.
// Otherwise it fills the host table from the Linux host layer, builds the
// application, runs the main thread's loop until SIGTERM, SIGINT or a
// termination asked for by the application, and tears everything down.

#include <apr_general.h>

#include <iostream>
#include <string>

#include <log4cpp/Category.hh>

#include "host/launcher.h"
#include "host/login_item.h"
#include "host/machine_identity.h"
#include "host/run_loop.h"
#include "lifecycle/vq_application.h"
#include "lifecycle/vq_host_callback.h"
#include "main/command_line.h"
#include "main/product_identity.h"
#include "main/product_paths.h"
#include "main/status_command.h"
#include "main/usage_text.h"
#include "support/apr_pool.h"
#include "support/log_text.h"

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

// APR for the options that read the installation; the agent itself
// initialises and terminates APR in initApp and stopApp.
class AprSession {
 public:
  AprSession() { apr_initialize(); }
  ~AprSession() { apr_terminate(); }
  AprSession(const AprSession&) = delete;
  AprSession& operator=(const AprSession&) = delete;
};

// Answers an option; returns the exit status.
int answerOption(const vq_main::CommandLineChoice& choice, const char* argv0) {
  using vq_main::CommandLineAction;
  const AprSession apr;
  // Only reads installation settings, which log nothing worth a terminal
  // line here; keep log4cpp's default output quiet.
  log4cpp::Category::getRoot().setPriority(log4cpp::Priority::FATAL);
  if (choice.action == CommandLineAction::kShowStatus) {
    return vq_main::runStatusCommand(argv0, VqApplication::applicationSettings,
                                     VqApplication::vendorDirectory);
  }
  // "~" stands for the home directory, which is not looked at.
  const apr::Pool pool;
  const vq_main::ProductPaths paths = vq_main::resolveProductPaths(
      argv0, vq_main::currentDirectory(), "~",
      VqApplication::applicationSettings, VqApplication::vendorDirectory,
      pool.get());
  switch (choice.action) {
    case CommandLineAction::kShowHelp:
      std::cout << vq_main::usageText(paths);
      return 0;
    case CommandLineAction::kShowVersion:
      std::cout << vq_main::versionText(vq_main::kAgentVersion,
                                        vq_main::kAgentBuild,
                                        paths.identity.name);
      return 0;
    default:
      std::cerr << "vqagent: unknown option "
                << vq_support::LogSafe(choice.rejected) << "\n\n"
                << vq_main::usageText(paths);
      return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const vq_main::CommandLineChoice choice = vq_main::chooseAction(argc, argv);
  if (choice.action != vq_main::CommandLineAction::kRunAgent) {
    return answerOption(choice, argc > 0 ? argv[0] : "");
  }
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
  // Another agent serves this user: nothing failed.
  return rc == VqApplication::kAnotherInstanceRuns ? 0 : rc;
}
