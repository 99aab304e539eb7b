#ifndef VQ_HOST_INSTANCE_LOCK_H_
#define VQ_HOST_INSTANCE_LOCK_H_

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

namespace host {

// One agent per data directory: an exclusive advisory lock (flock) on a lock
// file, held for the life of this object and released by the kernel when
// the process ends, however it ends, so a killed agent never blocks the next
// start. While held, the file holds the holder's pid in decimal and "\n",
// for the next start to name it and for status readers. The file itself
// stays when the lock is released: removing it would let two starts lock two
// different files of the same name.
class InstanceLock {
 public:
  // Takes the lock on `lockFile` (created owner-only, never through a
  // symbolic link; its directory must exist), trying for up to `wait`
  // (zero: one try). Returns null when another process holds it after that,
  // with `*holder` set to the pid it names (0 when that cannot be read in a
  // short while). Throws std::runtime_error when the file cannot be opened
  // or locked for any other reason. The descriptor is not inherited by
  // launched programs.
  static std::unique_ptr<InstanceLock> acquire(const std::string& lockFile,
                                               std::chrono::milliseconds wait,
                                               pid_t* holder);

  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

// Asks the agent `pid` to come forward: the reopen event (SIGUSR1), which
// starts the delivered application. False when `pid` is not a plausible
// other process or the signal cannot be sent.
bool requestReopen(pid_t pid);

}  // namespace host

#endif  // VQ_HOST_INSTANCE_LOCK_H_
