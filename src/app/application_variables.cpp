// The process-wide application variables: one map behind one mutex. Every read
// returns a copy so that values stay valid while other threads write.

#include "app/application_variables.h"

#include <strings.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <log4cpp/Category.hh>

#include "app/application_log.h"


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

std::atomic<ApplicationVariables::UserIdProvider> userIdProvider{nullptr};

std::atomic<ApplicationVariables::ServersProvider> serversProvider{nullptr};

// Computed outside the map's lock because it reads the connect settings file.
std::string computeServers() {
  ApplicationVariables::ServersProvider provider = serversProvider.load();
  return provider != nullptr ? provider() : std::string();
}

std::string computeUserId() {
  ApplicationVariables::UserIdProvider provider = userIdProvider.load();
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

std::string ApplicationVariables::get(const char* name) {
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

void ApplicationVariables::set(const char* name, const char* value) {
  if (name == nullptr) return;
  if (strcmp(name, SERVERS) == 0) {
    log4cpp::Category* log = applicationLog();
    if (log != nullptr) {
      log->warn("Trying to set computed variable: %s", SERVERS);
    }
  }
  store(name, value != nullptr ? value : "");
}

void ApplicationVariables::set(const char* name, const std::string& value) {
  set(name, value.c_str());
}

void ApplicationVariables::set(const char* name, long value) {
  if (name == nullptr) return;
  store(name, std::to_string(value));
}

void ApplicationVariables::setf(const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  setv(name, format, args);
  va_end(args);
}

void ApplicationVariables::setv(const char* name, const char* format,
                                va_list args) {
  char buffer[kSetfBufferSize];
  vsnprintf(buffer, sizeof(buffer), format, args);
  set(name, buffer);
}

long ApplicationVariables::getLong(const char* name, long defaultValue) {
  const std::string value = get(name);
  return value.empty() ? defaultValue : atol(value.c_str());
}

bool ApplicationVariables::getBool(const char* name) {
  return strcasecmp(get(name).c_str(), "true") == 0;
}

std::map<std::string, std::string> ApplicationVariables::getMap() {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  return env.values;
}

void ApplicationVariables::clear() {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  env.values.clear();
}

void ApplicationVariables::setUserIdProvider(UserIdProvider provider) {
  userIdProvider.store(provider);
}

void ApplicationVariables::setServersProvider(ServersProvider provider) {
  serversProvider.store(provider);
}

void ApplicationVariables::listComputed() {
  Environment& env = environment();
  std::lock_guard<std::mutex> lock(env.mutex);
  env.values.emplace(SERVERS, std::string());
  env.values.emplace(ID_USER, std::string());
}
