#ifndef VQ_APP_VQ_APPLICATION_H_
#define VQ_APP_VQ_APPLICATION_H_

#include <apr_pools.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/application_services.h"
#include "app/vq_host_callback.h"

namespace log4cpp {
class Category;
}  // namespace log4cpp

class VqThread;

// The single application object of the agent and the process-wide application
// variables.
//
// The variables are a map from name to text shared by every thread. All access
// is serialised by one mutex, and every read hands out a copy, so a value a
// caller holds stays valid however other threads change the map.
class VqApplication {
 public:
  // Names of the variables the agent itself sets or computes.
  static constexpr const char* APP_BUILD = "app.build";
  static constexpr const char* APP_EXE = "app.exe";
  static constexpr const char* APP_LAUNCHCMD = "app.launchcmd";
  static constexpr const char* APP_NAME = "app.name";
  static constexpr const char* APP_PLATFORM = "app.platform";
  static constexpr const char* APP_TITLE = "app.title";
  static constexpr const char* DEBUG_REFRESH = "debug.refresh";
  static constexpr const char* DIR_APP = "dir.app";
  static constexpr const char* DIR_DATA = "dir.data";
  static constexpr const char* ID_APP = "id.app";
  static constexpr const char* ID_FEED = "id.feed";
  static constexpr const char* ID_USER = "id.user";
  static constexpr const char* MONGOOSE_PORT = "mongoose.port";
  static constexpr const char* MONGOOSE_HOST = "mongoose.host";
  static constexpr const char* UPDATE_COUNT = "update.count";
  static constexpr const char* UPDATE_LAST = "update.last";
  // When the next update is due, and how the latest update attempt ended
  // ("succeeded" or "failed"), for people and programs asking the command
  // server; both in the form of "update.last".
  static constexpr const char* UPDATE_NEXT = "update.next";
  static constexpr const char* UPDATE_RESULT = "update.result";
  static constexpr const char* SECURE_SIGN = "secure.sign";
  // "true" (any case): signed answers must also be fresh, bound to the
  // request's nonce or carrying an unexpired expiry. Its default is a build
  // setting (VQ_REQUIRE_FRESH); a signed "set" action may change it.
  static constexpr const char* SECURE_FRESH = "secure.fresh";
  static constexpr const char* SERVERS = "servers";
  static constexpr const char* SWF_APP = "swf.app";

  // Name of the application's own log category.
  static constexpr const char* LOG_CATEGORY = "VqApp";

  // Size of the buffer setEnvf formats into; results are cut to one byte less.
  static constexpr size_t kSetEnvfBufferSize = 8192;

  // Identity of the delivered application and the built-in server list, as
  // worked out from the installation settings and the built-in description.
  struct Identity {
    long feedId = -1;
    long appId = -1;
    std::string build;
    std::string platform;
    std::string name;
    std::string title;
    std::string swf;
    // Base URLs; duplicates are dropped on construction, first one kept.
    std::vector<std::string> defaultServers;
  };

  // ---- Variables (callable from any thread) ----

  // The value of `name`, or the empty text. Reading a name without an entry
  // enters nothing, so listings show only variables that were set. "servers"
  // and "id.user" are recomputed (and stored) on every read; without an
  // application "servers" is empty.
  static std::string getEnv(const char* name);
  static std::string getEnv(const std::string& name);
  // Stores `value`. Setting "servers" is logged as a warning: the stored text
  // is replaced by the computed list at the next read.
  static void setEnv(const char* name, const char* value);
  static void setEnv(const char* name, const std::string& value);
  // Store the decimal form of `value`.
  static void setEnv(const char* name, long value);
  static void setEnv(const char* name, int value) {
    setEnv(name, static_cast<long>(value));
  }
  // Stores the printf rendering of `format`, cut to kSetEnvfBufferSize - 1
  // bytes.
  static void setEnvf(const char* name, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  // atol of the value, or `defaultValue` when the value is empty.
  static long getEnvl(const char* name, long defaultValue);
  // True exactly when the value is "true" in any letter case.
  static bool getEnvBool(const char* name);
  // A snapshot of all variables, ordered by name.
  static std::map<std::string, std::string> getEnvMap();
  // Removes every variable; for tests and for a fresh application.
  static void clearEnv();

  // Source of the "id.user" value (the feed settings' user id). Until one is
  // installed "id.user" reads as "-1", the unknown user. Passing null restores
  // that default.
  using UserIdProvider = long (*)();
  static void setUserIdProvider(UserIdProvider provider);

  // ---- Pure rules behind the instance operations ----

  // Fills `out` with the update servers in trial order: the connect-settings
  // servers in random order, then the defaults they lack, in random order.
  static void orderServers(const std::vector<std::string>& connectServers,
                           const std::vector<std::string>& defaultServers,
                           std::vector<std::string>* out);
  // Resolves `tested` (absolute, or relative to `dataDir`) and returns the
  // merged path when it is `dataDir` itself or lies below it; otherwise, and
  // when `dataDir` is empty, the empty text. Containment is decided on real
  // paths: the symbolic links of the part of the merged path that exists
  // are resolved (as are those of `dataDir`), so a path that leaves the data
  // directory through a link is refused, and so is one that passes through
  // a dangling link. The merged text, not the resolved one, is returned.
  static std::string resolveInDataDir(const std::string& dataDir,
                                      const char* tested, apr_pool_t* pool);

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
  static log4cpp::Category* getLog();

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

  // Launches through the host's openDocument; callable from any thread. An empty `exe` with no `args`
  // means the delivered application: exe becomes "<dir.data>/<swf.app>" and the
  // command server address is its one argument. Both are modified in place.
  // Returns the host's result, 0 without a host.
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
  // Enters the computed variables with empty values (keeping present ones),
  // so that listings show them from the start.
  static void listComputedVariables();

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

#endif  // VQ_APP_VQ_APPLICATION_H_
