#include "lifecycle/vq_application.h"

#include <apr_atomic.h>

#include <algorithm>
#include <cstdarg>
#include <utility>

#include <log4cpp/Category.hh>

#include "app/application_log.h"
#include "support/apr_pool.h"
#include "support/c_template.h"

namespace {

std::atomic<VqApplication*> registeredApplication{nullptr};

constexpr const char kSecondApplication[] =
    "Attempt to call VqApplication::start twice";

// The "servers" variable: the update servers of the registered application
// joined with ",", or empty without one.
std::string serversOfRegisteredApplication() {
  VqApplication* application = VqApplication::getApplication();
  if (application == nullptr) return std::string();
  std::vector<std::string> servers;
  application->getAllServers(servers);
  std::string joined;
  for (size_t i = 0; i < servers.size(); ++i) {
    if (i > 0) joined += ',';
    joined += servers[i];
  }
  return joined;
}

}  // namespace

void VqApplication::setEnvf(const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ApplicationVariables::setv(name, format, args);
  va_end(args);
}

std::string VqApplication::pathInDataDir(const char* tested) {
  // A pool per call: the command server calls this from several worker
  // threads at once, and the root pool is not safe for that.
  apr::Pool scratch;
  return resolveInDataDir(getEnv(DIR_DATA), tested, scratch);
}

void VqApplication::PoolDeleter::operator()(apr_pool_t* pool) const {
  apr_pool_destroy(pool);
}

VqApplication* VqApplication::getApplication() {
  return registeredApplication.load();
}

VqApplication::VqApplication(Identity identity, VqHostCallback* host)
    : identity_(std::move(identity)), host_(host) {
  apr_pool_t* pool = nullptr;
  if (apr_pool_create_ex(&pool, nullptr, nullptr, nullptr) != APR_SUCCESS) {
    throw std::string("Failed to create the application's root pool");
  }
  pool_.reset(pool);
  apr_atomic_init(pool);

  // The built-in list may repeat a server; keep its first occurrence.
  std::vector<std::string> unique;
  for (const std::string& server : identity_.defaultServers) {
    if (std::find(unique.begin(), unique.end(), server) == unique.end()) {
      unique.push_back(server);
    }
  }
  identity_.defaultServers = std::move(unique);
  ApplicationVariables::listComputed();
  ApplicationVariables::setServersProvider(&serversOfRegisteredApplication);

  // Registered last, so that a failed construction leaves no application.
  VqApplication* expected = nullptr;
  if (!registeredApplication.compare_exchange_strong(expected, this)) {
    log4cpp::Category* log = getLog();
    if (log != nullptr) log->error(std::string(kSecondApplication));
    throw std::string(kSecondApplication);
  }
}

VqApplication::~VqApplication() {
  logApplicationDebug("~VqApplication()");
  // The services' threads use the application until they are joined, so they
  // stop while it is still whole and registered. Wakes stop reaching the
  // update thread first (waiting for any under way), so a wake or quit that
  // a local program sends during shutdown never touches a destroyed thread;
  // then the command server finishes the replies it is writing and stops,
  // and only then the update thread is joined.
  setUpdateWaker(nullptr);
  // Whatever ended the process (a signal, the end of main), the transfers
  // still running on the services' threads poll this flag and stop within
  // about a second, so the joins below never wait for a server.
  quitting_.store(true);
  services_.reset();
  // Unregistered next, so that no other thread finds a half-destroyed
  // application.
  VqApplication* expected = this;
  registeredApplication.compare_exchange_strong(expected, nullptr);
  logApplicationDebug("about to call apr_pool_destroy");
  pool_.reset();
  logApplicationDebug("apr_pool_destroy succeeded");
}

int VqApplication::launchProcess(std::string& exe,
                                 std::vector<std::string>& args) {
  log4cpp::Category* log = getLog();
  const bool debug = log != nullptr && log->isDebugEnabled();
  if (debug) log->debug("launchProcess('" + exe + "',...)");
  if (exe.empty() && args.empty()) {
    CTemplate values;
    values.add(getEnvMap());
    exe = values.parsef("${%s}/${%s}", DIR_DATA, SWF_APP);
    args.push_back(values.parsef("${%s}", MONGOOSE_HOST));
    if (debug) {
      log->debug("Exe set to: " + exe + ", with single argument " + args[0]);
    }
  }
  // Without a platform layer there is nothing that could start a program.
  if (host_ == nullptr || host_->openDocument == nullptr) return 0;
  return host_->openDocument(exe, args);
}

void VqApplication::launchSwf() {
  logApplicationDebug("launchSwf() called");
  std::string exe;
  std::vector<std::string> args;
  launchProcess(exe, args);
}

void VqApplication::terminate() {
  logApplicationDebug("terminate()");
  logApplicationDebug("Calling vqterminate()");
  if (host_ != nullptr && host_->terminate != nullptr) host_->terminate();
}

const char* VqApplication::getOS() {
  if (host_ == nullptr || host_->getOS == nullptr) return "";
  return host_->getOS();
}

const char* VqApplication::getMachineId() {
  if (host_ == nullptr || host_->getMacAddress == nullptr) return nullptr;
  return host_->getMacAddress();
}

void VqApplication::threadInit(VqThread* thread) {
  if (host_ != nullptr && host_->threadInit != nullptr) {
    host_->threadInit(thread);
  }
}

void VqApplication::threadQuit(VqThread* thread) {
  if (host_ != nullptr && host_->threadQuit != nullptr) {
    host_->threadQuit(thread);
  }
}

void VqApplication::updateNow() {
  std::function<void()> waker;
  {
    std::lock_guard<std::mutex> lock(updateWakerMutex_);
    if (!updateWaker_) return;
    waker = updateWaker_;
    ++updateWakerCalls_;
  }
  // Called outside the lock, since waking may wait for a running pass; the
  // count keeps setUpdateWaker from returning (and the thread from being
  // destroyed) while this call runs.
  try {
    waker();
  } catch (...) {
    std::lock_guard<std::mutex> lock(updateWakerMutex_);
    if (--updateWakerCalls_ == 0) updateWakerIdle_.notify_all();
    throw;
  }
  std::lock_guard<std::mutex> lock(updateWakerMutex_);
  if (--updateWakerCalls_ == 0) updateWakerIdle_.notify_all();
}

void VqApplication::setUpdateWaker(std::function<void()> waker) {
  std::unique_lock<std::mutex> lock(updateWakerMutex_);
  updateWaker_ = std::move(waker);
  updateWakerIdle_.wait(lock, [this] { return updateWakerCalls_ == 0; });
}

void VqApplication::setQuit(bool quit) {
  quitting_.store(quit);
  updateNow();
}

bool VqApplication::isQuitting() const { return quitting_.load(); }

void VqApplication::setUpgrade(bool upgrade) { upgrading_.store(upgrade); }

bool VqApplication::isUpgrading() const { return upgrading_.load(); }

bool VqApplication::shouldQuit() const {
  return upgrading_.load() || quitting_.load();
}

long VqApplication::getFeedId() const { return identity_.feedId; }

long VqApplication::getAppId() const { return identity_.appId; }

const char* VqApplication::getBuild() const {
  return identity_.build.c_str();
}

const char* VqApplication::getPlatform() const {
  return identity_.platform.c_str();
}

const std::string& VqApplication::getName() const { return identity_.name; }

const std::string& VqApplication::getTitle() const { return identity_.title; }

const std::string& VqApplication::getSwf() const { return identity_.swf; }

std::vector<std::string>& VqApplication::getDefaultServers() {
  return identity_.defaultServers;
}

apr_pool_t* VqApplication::getPool() const { return pool_.get(); }

void VqApplication::setArguments(int argc, char** argv) {
  args_.clear();
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    args_.emplace_back(argv[i]);
  }
}

void VqApplication::setServices(std::unique_ptr<ApplicationServices> services) {
  services_ = std::move(services);
}

void VqApplication::setStartItem() {
  // Without a host facility there is no login item to register.
  if (startItemRegistrar_ != nullptr) {
    startItemRegistrar_(getEnv(APP_LAUNCHCMD));
  }
}
