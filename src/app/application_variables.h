#ifndef VQ_APP_APPLICATION_VARIABLES_H_
#define VQ_APP_APPLICATION_VARIABLES_H_

#include <cstdarg>
#include <cstddef>
#include <map>
#include <string>

// The process-wide application variables: a map from name to text shared by
// every thread. All access is serialised by one mutex, and every read hands
// out a copy, so a value a caller holds stays valid however other threads
// change the map. The engines read and set them here; they reach the
// application object itself only through their external interfaces.
class ApplicationVariables {
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

  // Size of the buffer setf formats into; results are cut to one byte less.
  static constexpr size_t kSetfBufferSize = 8192;

  // The value of `name`, or the empty text. Reading a name without an entry
  // enters nothing, so listings show only variables that were set. "servers"
  // and "id.user" are recomputed (and stored) on every read; without a
  // servers provider "servers" is empty.
  static std::string get(const char* name);
  // Stores `value`. Setting "servers" is logged as a warning: the stored text
  // is replaced by the computed list at the next read.
  static void set(const char* name, const char* value);
  static void set(const char* name, const std::string& value);
  // Stores the decimal form of `value`.
  static void set(const char* name, long value);
  // Stores the printf rendering of `format`, cut to kSetfBufferSize - 1
  // bytes.
  static void setf(const char* name, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  // The same with the arguments already collected.
  static void setv(const char* name, const char* format, va_list args)
      __attribute__((format(printf, 2, 0)));
  // atol of the value, or `defaultValue` when the value is empty.
  static long getLong(const char* name, long defaultValue);
  // True exactly when the value is "true" in any letter case.
  static bool getBool(const char* name);
  // A snapshot of all variables, ordered by name.
  static std::map<std::string, std::string> getMap();
  // Removes every variable; for tests and for a fresh application.
  static void clear();
  // Enters the computed variables with empty values (keeping present ones),
  // so that listings show them from the start.
  static void listComputed();

  // Source of the "id.user" value (the feed settings' user id). Until one is
  // installed "id.user" reads as "-1", the unknown user. Passing null restores
  // that default.
  using UserIdProvider = long (*)();
  static void setUserIdProvider(UserIdProvider provider);
  // Source of the "servers" value: the update servers of the running
  // application joined with ",". Without one "servers" reads as empty.
  using ServersProvider = std::string (*)();
  static void setServersProvider(ServersProvider provider);
};

#endif  // VQ_APP_APPLICATION_VARIABLES_H_
