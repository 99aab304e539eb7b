#ifndef VQ_LIFECYCLE_COMMAND_SERVER_H_
#define VQ_LIFECYCLE_COMMAND_SERVER_H_

#include <memory>

class VqApplication;

// The local command server bound to one application: starts it on
// 127.0.0.1 and stops it (removing its address and key files) when
// destroyed.
class AppCommandServer {
 public:
  // Throws a std::string when the server cannot start.
  explicit AppCommandServer(VqApplication* application);
  ~AppCommandServer();

  AppCommandServer(const AppCommandServer&) = delete;
  AppCommandServer& operator=(const AppCommandServer&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

#endif  // VQ_LIFECYCLE_COMMAND_SERVER_H_
