// Process-level start-up and shut-down: building the application from the
// process arguments (first-run preparation of the data directory included),
// and tearing it down again.

#include <apr_general.h>
#include <apr_pools.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include <log4cpp/Category.hh>

#include "app/built_in_description.h"
#include "app/data_directory_seeder.h"
#include "app/installation_layout.h"
#include "app/vq_application.h"
#include "app/vq_application_settings.h"
#include "support/apr_pool.h"
#include "support/apr_utils.h"
#include "support/path.h"

namespace {

std::string currentDirectory() {
  char buffer[1025];
  return getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : "";
}

// The constructor's work: variables, identity, data directory. Messages for
// the log are collected in `startupLog` until logging exists.
std::unique_ptr<VqApplication> buildApplication(
    int argc, char** argv, VqHostCallback* host,
    VqApplication::StartItemRegistrar registrar) {
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

  // The application (and its root pool) exists before the first-run steps,
  // which log into its startup buffer and launch through its host.
  auto application = std::make_unique<VqApplication>(identity, host);
  application->setArguments(argc, argv);
  application->setStartItemRegistrar(registrar);

  const bool firstRun = !apr_dir_exists(dataDir.c_str(), application->getPool());
  if (firstRun) {
    path initialData(layout.dirApp);
    initialData << "initial_data";
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
  return application;
}

// The single application made by initApp; owned here so that stopApp (or
// process exit) destroys it.
std::unique_ptr<VqApplication>& ownedApplication() {
  static std::unique_ptr<VqApplication> application;
  return application;
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
      if (log != nullptr) log->error("Attempt to call VqApplication::start twice");
      throw std::string("Attempt to call VqApplication::start twice");
    }
    ownedApplication() = buildApplication(argc, argv, host, registrar);
    return ownedApplication()->init();
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
  std::unique_ptr<VqApplication>& application = ownedApplication();
  if (application) {
    log4cpp::Category* log = getLog();
    if (log != nullptr) log->debug("stopApp()");
    application.reset();
    if (log != nullptr) {
      log->debug("Shutting down logging.");
      shutdownLogging();
    }
  }
  apr_pool_terminate();
  apr_terminate();
}
