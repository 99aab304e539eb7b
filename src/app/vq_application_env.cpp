// The process-wide application variables: one map behind one mutex. Every read
// returns a copy so that values stay valid while other threads write.

#include <strings.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <log4cpp/Category.hh>

#include "app/vq_application.h"

namespace {

struct Environment {
  std::mutex mutex;
  std::map<std::string, std::string> values;
};

// Constructed on first use and never destroyed, so that threads still running
// during static destruction can never reach a destroyed map.
Environment& environment() {
  static Environment* const env = new Environment();
  return *env;
}

std::atomic<VqApplication::UserIdProvider> userIdProvider{nullptr};

// The server list of the current application, joined with ",". Computed
// outside the map's lock because it reads the connect settings file.
std::string computeServers() {
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

std::string computeUserId() {
  VqApplication::UserIdProvider provider = userIdProvider.load();
  long id = provider != nullptr ? provider() : -1;
  char text[32];
  snprintf(text, sizeof(text), "%ld", id);
  return text;
}

void store(const char* name, std::string value) {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  env.values[name] = std::move(value);
}

}  // namespace

std::string VqApplication::getEnv(const char* name) {
  if (name == nullptr) return std::string();
  // The computed variables are stored as well, so that listings show their
  // last value.
  if (strcmp(name, SERVERS) == 0 || strcmp(name, ID_USER) == 0) {
    std::string value =
        name[0] == 's' ? computeServers() : computeUserId();
    store(name, value);
    return value;
  }
  // A name nobody set is not entered: reads come from local programs
  // without a key, and each new name would grow the map for good.
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  const auto found = env.values.find(name);
  return found != env.values.end() ? found->second : std::string();
}

std::string VqApplication::getEnv(const std::string& name) {
  return getEnv(name.c_str());
}

void VqApplication::setEnv(const char* name, const char* value) {
  if (name == nullptr) return;
  if (strcmp(name, SERVERS) == 0) {
    log4cpp::Category* log = getLog();
    if (log != nullptr) {
      log->warn("Trying to set computed variable: %s", SERVERS);
    }
  }
  store(name, value != nullptr ? value : "");
}

void VqApplication::setEnv(const char* name, const std::string& value) {
  setEnv(name, value.c_str());
}

void VqApplication::setEnv(const char* name, long value) {
  if (name == nullptr) return;
  store(name, std::to_string(value));
}

void VqApplication::setEnvf(const char* name, const char* format, ...) {
  char buffer[kSetEnvfBufferSize];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  setEnv(name, buffer);
}

long VqApplication::getEnvl(const char* name, long defaultValue) {
  const std::string value = getEnv(name);
  return value.empty() ? defaultValue : atol(value.c_str());
}

bool VqApplication::getEnvBool(const char* name) {
  return strcasecmp(getEnv(name).c_str(), "true") == 0;
}

std::map<std::string, std::string> VqApplication::getEnvMap() {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  return env.values;
}

void VqApplication::clearEnv() {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  env.values.clear();
}

void VqApplication::setUserIdProvider(UserIdProvider provider) {
  userIdProvider.store(provider);
}

void VqApplication::listComputedVariables() {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  env.values.emplace(SERVERS, std::string());
  env.values.emplace(ID_USER, std::string());
}
