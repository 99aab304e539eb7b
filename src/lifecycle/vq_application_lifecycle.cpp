// Process-level start-up and shut-down: building the application from the
// process arguments (first-run preparation of the data directory included),
// and tearing it down again.

#include <apr_file_info.h>
#include <apr_file_io.h>
#include <apr_general.h>
#include <apr_pools.h>
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include <log4cpp/Category.hh>

#include "app/built_in_description.h"
#include "app/data_directory_seeder.h"
#include "app/installation_layout.h"
#include "app/vq_application_settings.h"
#include "host/instance_lock.h"
#include "lifecycle/vq_application.h"
#include "support/apr_pool.h"
#include "support/apr_utils.h"
#include "support/path.h"

namespace {

// One-job modes wait this long for the lock, enough for an agent that is
// stopping or another one-job run to finish, before they refuse.
constexpr std::chrono::seconds kOneJobLockWait(3);

// What initApp builds and stopApp destroys. The lock is declared first so
// that it is released last: only after the application has stopped its
// services and removed its server files may another agent start.
struct OwnedInstance {
  std::unique_ptr<host::InstanceLock> lock;
  std::unique_ptr<VqApplication> application;
};

// The single instance made by initApp; owned here so that stopApp (or
// process exit) destroys it.
OwnedInstance& ownedInstance() {
  static OwnedInstance instance;
  return instance;
}

// True when the arguments ask for a one-job mode that uses the data
// directory. "version" is not one: it touches no file and needs no lock.
bool hasOneJobArgument(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    for (const char* mode : {"trans", "proxy", "setstart"}) {
      if (strcasecmp(argv[i], mode) == 0) return true;
    }
  }
  return false;
}

// Takes the lock of `dataDir`: the file beside it named as it is plus
// ".lock", so that it can be taken before a first run creates the data
// directory. Its parent is created when missing. A normal start tries once;
// a one-job mode waits a little. Null when another process holds it.
std::unique_ptr<host::InstanceLock> lockDataDirectory(std::string dataDir,
                                                      bool oneJob,
                                                      pid_t* holder) {
  while (dataDir.size() > 1 && dataDir.back() == '/') dataDir.pop_back();
  {
    apr::Pool pool;
    apr_dir_make_recursive(path(dataDir).parent().c_str(),
                           APR_FPROT_UREAD | APR_FPROT_UWRITE |
                               APR_FPROT_UEXECUTE,
                           pool);
  }
  return host::InstanceLock::acquire(
      dataDir + ".lock",
      oneJob ? std::chrono::milliseconds(kOneJobLockWait)
             : std::chrono::milliseconds(0),
      holder);
}

std::string currentDirectory() {
  char buffer[1025];
  return getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : "";
}

// The constructor's work: variables, identity, the data directory's lock,
// the data directory. Messages for the log are collected in `startupLog`
// until logging exists. Fills `owned`; returns false, having touched no
// file, when another agent holds the data directory (its pid in `*holder`).
bool buildApplication(int argc, char** argv, VqHostCallback* host,
                      VqApplication::StartItemRegistrar registrar,
                      bool oneJob, OwnedInstance* owned, pid_t* holder) {
  std::vector<std::string> startupLog;
  // Until the rolling log exists, log4cpp would print the support code's
  // debug lines on the terminal; what matters before then is buffered here.
  log4cpp::Category::getRoot().setPriority(log4cpp::Priority::ERROR);
  VqApplication::setEnv(VqApplication::SECURE_SIGN, "true");
  VqApplication::setEnv(VqApplication::SECURE_FRESH,
                        VQ_REQUIRE_FRESH_DEFAULT ? "true" : "false");

  const InstallationLayout layout =
      computeInstallationLayout(argc > 0 ? argv[0] : "", currentDirectory());
  VqApplication::setEnv(VqApplication::DIR_APP, layout.dirApp);
  VqApplication::setEnv(VqApplication::APP_EXE, layout.exe);
  VqApplication::setEnv(VqApplication::APP_LAUNCHCMD, layout.launchCmd);

  apr::Pool settingsPool;
  VqApplicationSettings settings(layout.dirApp.c_str(), settingsPool);
  VqApplication::Identity identity;
  if (readBuiltInDescription(VqApplication::applicationSettings, settings,
                             &identity)) {
    VqApplication::setEnv(VqApplication::ID_FEED, identity.feedId);
    VqApplication::setEnv(VqApplication::ID_APP, identity.appId);
    VqApplication::setEnv(VqApplication::APP_BUILD, identity.build);
    VqApplication::setEnv(VqApplication::APP_NAME, identity.name);
    VqApplication::setEnv(VqApplication::APP_TITLE, identity.title);
    VqApplication::setEnv(VqApplication::APP_PLATFORM, identity.platform);
    VqApplication::setEnv(VqApplication::SWF_APP, identity.swf);
  }

  // Without HOME the data directory cannot be formed, and guessing one could
  // scatter the user's data; refuse to run.
  const char* home = getenv("HOME");
  if (home == nullptr) {
    std::cout << "HOME env is NULL!" << std::endl;
    throw std::runtime_error("HOME env is NULL!");
  }
  // An empty name would make the vendor directory itself the data directory.
  if (VqApplication::getEnv(VqApplication::APP_NAME).empty()) {
    throw std::runtime_error(
        "The application has no name; the data directory cannot be formed.");
  }
  const std::string dataDir = dataDirectoryPath(
      home, VqApplication::vendorDirectory,
      VqApplication::getEnv(VqApplication::APP_NAME));

  path initialData(layout.dirApp);
  initialData << "initial_data";
  {
    // An installation that could never seed is refused before the lock
    // file is made, so that it leaves no trace at all.
    apr::Pool probePool;
    if (!apr_dir_exists(dataDir.c_str(), probePool) &&
        !apr_dir_exists(initialData.c_str(), probePool)) {
      throw std::runtime_error("No initial_data dir in installation.");
    }
  }

  // Before anything reads or writes the data directory: seeding, journal
  // recovery, the log, the command server's files.
  owned->lock = lockDataDirectory(dataDir, oneJob, holder);
  if (!owned->lock) return false;

  // The application (and its root pool) exists before the first-run steps,
  // which log into its startup buffer and launch through its host.
  auto application = std::make_unique<VqApplication>(identity, host);
  application->setArguments(argc, argv);
  application->setStartItemRegistrar(registrar);

  const bool firstRun =
      !apr_dir_exists(dataDir.c_str(), application->getPool());
  if (firstRun) {
    if (!apr_dir_exists(initialData.c_str(), application->getPool())) {
      throw std::runtime_error("No initial_data dir in installation.");
    }
    try {
      seedDataDirectory(initialData.str(), dataDir, application->getPool(),
                        &startupLog);
    } catch (...) {
      for (const std::string& line : startupLog) {
        application->addStartupLog(line);
      }
      throw;
    }
    startupLog.push_back("Setting application " +
                         VqApplication::getEnv(VqApplication::APP_LAUNCHCMD) +
                         " to auto-start");
  }

  VqApplication::setEnv(VqApplication::DIR_DATA, dataDir);
  startupLog.push_back("Setting working directory " + dataDir);
  if (chdir(dataDir.c_str()) != 0) {
    startupLog.push_back("Could not change the working directory to " +
                         dataDir);
  }
  startupLog.push_back("Setting working directory " + dataDir);
  startupLog.push_back("Application instantiated");
  std::string args = "Application args";
  for (int i = 0; i < argc; ++i) {
    args += "\nargv[" + std::to_string(i) + "] : '" + argv[i] + "'";
  }
  startupLog.push_back(args);
  startupLog.push_back("feedId = " + std::to_string(identity.feedId) +
                       ", appId = " + std::to_string(identity.appId) +
                       ", build=" + identity.build);
  for (const std::string& line : startupLog) application->addStartupLog(line);

  if (firstRun) {
    application->setStartItem();
    application->launchSwf();
  }
  owned->application = std::move(application);
  return true;
}

}  // namespace

int VqApplication::initApp(int argc, char** argv, VqHostCallback* host,
                           StartItemRegistrar registrar) {
  apr_initialize();
  apr_pool_initialize();
  if (argc > 1 && strcasecmp(argv[1], "version") == 0) {
    std::cout << applicationSettings << std::endl;
    return 1;
  }
  try {
    if (getApplication() != nullptr) {
      log4cpp::Category* log = getLog();
      if (log != nullptr)
        log->error("Attempt to call VqApplication::start twice");
      throw std::string("Attempt to call VqApplication::start twice");
    }
    OwnedInstance& owned = ownedInstance();
    const bool oneJob = hasOneJobArgument(argc, argv);
    pid_t holder = 0;
    if (!buildApplication(argc, argv, host, registrar, oneJob, &owned,
                          &holder)) {
      std::cerr << "already running (pid " << holder << ")" << std::endl;
      if (oneJob) return 1;
      host::requestReopen(holder);
      return kAnotherInstanceRuns;
    }
    return owned.application->init();
  } catch (const std::string& text) {
    std::cerr << text << std::endl;
  } catch (const std::exception& error) {
    std::cerr << error.what() << std::endl;
  }
  return 1;
}

int VqApplication::startApp(VqHostCallback* host) {
  VqApplication* application = getApplication();
  if (application == nullptr) {
    log4cpp::Category* log = getLog();
    if (log != nullptr) log->error("Must call initApp before startApp");
    throw std::string("Must call initApp before startApp");
  }
  log4cpp::Category* log = getLog();
  if (log != nullptr && log->isDebugEnabled()) {
    log->debug(std::string(101, 'x') + "Starting app");
  }
  return application->start(host);
}

void VqApplication::stopApp() {
  OwnedInstance& owned = ownedInstance();
  std::unique_ptr<VqApplication>& application = owned.application;
  if (application) {
    log4cpp::Category* log = getLog();
    if (log != nullptr) log->debug("stopApp()");
    application.reset();
    if (log != nullptr) {
      log->debug("Shutting down logging.");
      shutdownLogging();
    }
  }
  owned.lock.reset();
  apr_pool_terminate();
  apr_terminate();
}
