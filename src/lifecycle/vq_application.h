#ifndef VQ_LIFECYCLE_VQ_APPLICATION_H_
#define VQ_LIFECYCLE_VQ_APPLICATION_H_

#include <apr_pools.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/application_identity.h"
#include "app/application_log.h"
#include "app/application_variables.h"
#include "app/data_directory_path.h"
#include "lifecycle/application_services.h"
#include "lifecycle/vq_host_callback.h"

namespace log4cpp {
class Category;
}  // namespace log4cpp

class VqThread;

// The single application object of the agent: it constructs and owns the
// update thread, the command server and the host services, and offers the
// process-wide application variables (ApplicationVariables) under their
// historical names.
class VqApplication {
 public:
  // Names of the variables the agent itself sets or computes (see
  // ApplicationVariables).
  static constexpr const char* APP_BUILD = ApplicationVariables::APP_BUILD;
  static constexpr const char* APP_EXE = ApplicationVariables::APP_EXE;
  static constexpr const char* APP_LAUNCHCMD =
      ApplicationVariables::APP_LAUNCHCMD;
  static constexpr const char* APP_NAME = ApplicationVariables::APP_NAME;
  static constexpr const char* APP_PLATFORM =
      ApplicationVariables::APP_PLATFORM;
  static constexpr const char* APP_TITLE = ApplicationVariables::APP_TITLE;
  static constexpr const char* DEBUG_REFRESH =
      ApplicationVariables::DEBUG_REFRESH;
  static constexpr const char* DIR_APP = ApplicationVariables::DIR_APP;
  static constexpr const char* DIR_DATA = ApplicationVariables::DIR_DATA;
  static constexpr const char* ID_APP = ApplicationVariables::ID_APP;
  static constexpr const char* ID_FEED = ApplicationVariables::ID_FEED;
  static constexpr const char* ID_USER = ApplicationVariables::ID_USER;
  static constexpr const char* MONGOOSE_PORT =
      ApplicationVariables::MONGOOSE_PORT;
  static constexpr const char* MONGOOSE_HOST =
      ApplicationVariables::MONGOOSE_HOST;
  static constexpr const char* UPDATE_COUNT =
      ApplicationVariables::UPDATE_COUNT;
  static constexpr const char* UPDATE_LAST = ApplicationVariables::UPDATE_LAST;
  static constexpr const char* UPDATE_NEXT = ApplicationVariables::UPDATE_NEXT;
  static constexpr const char* UPDATE_RESULT =
      ApplicationVariables::UPDATE_RESULT;
  static constexpr const char* SECURE_SIGN = ApplicationVariables::SECURE_SIGN;
  static constexpr const char* SECURE_FRESH =
      ApplicationVariables::SECURE_FRESH;
  static constexpr const char* SERVERS = ApplicationVariables::SERVERS;
  static constexpr const char* SWF_APP = ApplicationVariables::SWF_APP;

  // Name of the application's own log category.
  static constexpr const char* LOG_CATEGORY = kApplicationLogCategory;

  // Size of the buffer setEnvf formats into; results are cut to one byte less.
  static constexpr size_t kSetEnvfBufferSize =
      ApplicationVariables::kSetfBufferSize;

  // Identity of the delivered application and the built-in server list.
  using Identity = ApplicationIdentity;

  // ---- Variables (callable from any thread) ----

  // The variables of ApplicationVariables, under the names the rest of the
  // agent's code and its tests use.
  static std::string getEnv(const char* name) {
    return ApplicationVariables::get(name);
  }
  static std::string getEnv(const std::string& name) {
    return ApplicationVariables::get(name.c_str());
  }
  static void setEnv(const char* name, const char* value) {
    ApplicationVariables::set(name, value);
  }
  static void setEnv(const char* name, const std::string& value) {
    ApplicationVariables::set(name, value);
  }
  static void setEnv(const char* name, long value) {
    ApplicationVariables::set(name, value);
  }
  static void setEnv(const char* name, int value) {
    ApplicationVariables::set(name, static_cast<long>(value));
  }
  static void setEnvf(const char* name, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  static long getEnvl(const char* name, long defaultValue) {
    return ApplicationVariables::getLong(name, defaultValue);
  }
  static bool getEnvBool(const char* name) {
    return ApplicationVariables::getBool(name);
  }
  static std::map<std::string, std::string> getEnvMap() {
    return ApplicationVariables::getMap();
  }
  static void clearEnv() { ApplicationVariables::clear(); }
  using UserIdProvider = ApplicationVariables::UserIdProvider;
  static void setUserIdProvider(UserIdProvider provider) {
    ApplicationVariables::setUserIdProvider(provider);
  }

  // ---- Pure rules behind the instance operations ----

  // Fills `out` with the update servers in trial order: the connect-settings
  // servers in random order, then the defaults they lack, in random order.
  static void orderServers(const std::vector<std::string>& connectServers,
                           const std::vector<std::string>& defaultServers,
                           std::vector<std::string>* out);
  // See resolveInDataDir in app/data_directory_path.h.
  static std::string resolveInDataDir(const std::string& dataDir,
                                      const char* tested, apr_pool_t* pool) {
    return ::resolveInDataDir(dataDir, tested, pool);
  }

  // ---- Lifecycle (process entry side) ----

  // Registers a bundle path to be started at login; supplied by the host.
  using StartItemRegistrar = void (*)(const std::string& bundlePath);

  // The built-in application description (an XML element) and the vendor
  // directory under "Library/Application Support"; both are fixed when the
  // product is built and defined by the executable that links the lifecycle.
  static const char* const applicationSettings;
  static const char* const vendorDirectory;

  // initApp's result when another agent holds the data directory: "already
  // running (pid N)" has been written to standard error and that agent asked
  // to come forward; the process ends with status 0.
  static constexpr int kAnotherInstanceRuns = 2;

  // Initialises APR, locks the data directory (one agent per data
  // directory), builds the application from the process arguments
  // (preparing the data directory on a first run) and runs init(). Returns 0
  // when the run loop is to be entered, 1 when the process is to end (a
  // one-job command-line mode, "version", or a failure, whose text has been
  // written to standard error), kAnotherInstanceRuns when another agent
  // runs. A one-job mode ("trans", "proxy", "setstart") that finds the lock
  // held waits a few seconds for it, then refuses with "already running
  // (pid N)" and returns 1. `registrar` may be null.
  static int initApp(int argc, char** argv, VqHostCallback* host,
                     StartItemRegistrar registrar = nullptr);
  // Starts the update thread and the command server of the application made
  // by initApp. Throws std::string "Must call initApp before startApp"
  // without one; start-up failures of the services propagate.
  static int startApp(VqHostCallback* host);
  // Destroys the application (stopping its services), shuts logging down and
  // terminates APR. Safe to call when initApp failed.
  static void stopApp();

  // Logging, recovery of an interrupted transaction, command-line modes.
  // Returns 0 to run, 1 to end.
  int init();
  // Creates the update thread, then the command server. A non-null `host`
  // replaces the stored table. Returns 0.
  int start(VqHostCallback* host);
  // Runs an action document submitted by a local program. Throws VqException
  // 105 when it does not parse, 5 when its root is not "vq"; failures of the
  // document propagate.
  void processTransactions(const std::string& xml);
  // Registers "app.launchcmd" to start at login; the outcome is not reported.
  void setStartItem();
  const char* getAppXml() const { return applicationSettings; }

  // The process arguments, kept for the command-line modes of init().
  void setArguments(int argc, char** argv);
  void setHost(VqHostCallback* host) { host_ = host; }
  void setStartItemRegistrar(StartItemRegistrar registrar) {
    startItemRegistrar_ = registrar;
  }
  // Takes the running services; they are stopped first when the application
  // is destroyed.
  void setServices(std::unique_ptr<ApplicationServices> services);

  // ---- The single instance ----

  // The registered application, or null. Safe to call from any thread.
  static VqApplication* getApplication();
  // The "VqApp" category once logging is configured, else null.
  static log4cpp::Category* getLog() { return applicationLog(); }

  // Creates the root pool, lists the computed variables and registers the
  // instance as the application.
  // Throws std::string "Attempt to call VqApplication::start twice" when
  // another application is registered. `host` may be null, as may any of its
  // slots: the operations backed by a missing slot then do nothing, getOS
  // answers "" and getMachineId null.
  VqApplication(Identity identity, VqHostCallback* host);
  ~VqApplication();

  VqApplication(const VqApplication&) = delete;
  VqApplication& operator=(const VqApplication&) = delete;

  // ---- Logging ----

  // Sets up the rolling log `fileName` (relative to the working directory, or
  // absolute), then writes the messages buffered by addStartupLog in order.
  // `categoryName` is not used. Returns true.
  bool configureLogging(std::string categoryName, std::string fileName);
  // Buffers a message made before logging exists; written at configuration.
  // Once logging is configured the message is logged at once.
  void addStartupLog(const std::string& message);
  // Closes every log appender and forgets the "VqApp" category, so that
  // logging can be configured again (the next configureLogging).
  static void shutdownLogging();

  // ---- Servers and data directory ----

  // The update server list for this pass; reads the connect settings file of
  // the data directory each time.
  void getAllServers(std::vector<std::string>& out);
  // `tested` resolved inside the data directory ("dir.data"), or the empty
  // text (logged) when it lies outside.
  std::string pathInDataDir(const char* tested);

  // ---- Launching and host forwarding ----

  // Launches through the host's openDocument; callable from any thread. An
  // empty `exe` with no `args` means the delivered application: exe becomes
  // "<dir.data>/<swf.app>" and the command server address is its one argument.
  // Both are modified in place. Returns the host's result, 0 without a host.
  int launchProcess(std::string& exe, std::vector<std::string>& args);
  void launchSwf();
  // Logs and asks the host to terminate the process.
  void terminate();
  const char* getOS();
  const char* getMachineId();
  void threadInit(VqThread* thread);
  void threadQuit(VqThread* thread);

  // ---- Flags and update thread ----

  // Asks the update thread for an immediate pass; does nothing while no waker
  // is installed.
  void updateNow();
  // Installed by whoever starts the update thread; called by updateNow.
  // Returns only when no call of the previous waker is still running, so
  // after setUpdateWaker(nullptr) the update thread may be destroyed.
  void setUpdateWaker(std::function<void()> waker);
  void setQuit(bool quit);
  bool isQuitting() const;
  void setUpgrade(bool upgrade);
  bool isUpgrading() const;
  bool shouldQuit() const;

  // ---- Identity ----

  long getFeedId() const;
  long getAppId() const;
  const char* getBuild() const;
  const char* getPlatform() const;
  const std::string& getName() const;
  const std::string& getTitle() const;
  const std::string& getSwf() const;
  std::vector<std::string>& getDefaultServers();
  apr_pool_t* getPool() const;

 private:
  struct PoolDeleter {
    void operator()(apr_pool_t* pool) const;
  };

  std::vector<std::string> startupLog_;
  std::mutex startupLogMutex_;
  std::unique_ptr<apr_pool_t, PoolDeleter> pool_;
  std::atomic<bool> upgrading_{false};
  std::atomic<bool> quitting_{false};
  Identity identity_;
  VqHostCallback* host_;
  StartItemRegistrar startItemRegistrar_ = nullptr;
  std::vector<std::string> args_;
  std::unique_ptr<ApplicationServices> services_;
  std::function<void()> updateWaker_;
  std::mutex updateWakerMutex_;
  std::condition_variable updateWakerIdle_;
  int updateWakerCalls_ = 0;  // running calls of updateWaker_
};

#endif  // VQ_LIFECYCLE_VQ_APPLICATION_H_
