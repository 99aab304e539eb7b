#include "host/instance_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

namespace host {
namespace {

constexpr std::chrono::milliseconds kPollInterval(20);
// A holder writes its pid right after locking; a reader that finds the file
// still empty gives it this long.
constexpr std::chrono::milliseconds kPidReadWait(2000);

[[noreturn]] void fail(const std::string& what, const std::string& file) {
  throw std::runtime_error(what + " " + file + ": " + std::strerror(errno));
}

// The pid the file names: decimal digits followed by "\n"; 0 otherwise.
pid_t readPid(int fd) {
  char text[32];
  const ssize_t size = pread(fd, text, sizeof(text) - 1, 0);
  if (size <= 1 || text[size - 1] != '\n') return 0;
  long pid = 0;
  for (ssize_t i = 0; i + 1 < size; ++i) {
    if (text[i] < '0' || text[i] > '9' || pid > 4194304) return 0;
    pid = pid * 10 + (text[i] - '0');
  }
  return static_cast<pid_t>(pid);
}

pid_t waitForPid(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kPidReadWait;
  pid_t pid = readPid(fd);
  while (pid == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kPollInterval);
    pid = readPid(fd);
  }
  return pid;
}

// Replaces the file's content by the pid. A failure (a full disk) leaves the
// lock held, which is what matters; the pid is only informative.
void writePid(int fd) {
  const std::string text = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) {
    (void)!pwrite(fd, text.data(), text.size(), 0);
  }
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::acquire(
    const std::string& lockFile, std::chrono::milliseconds wait,
    pid_t* holder) {
  const int fd = open(lockFile.c_str(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) fail("Cannot open the lock file", lockFile);
  std::unique_ptr<InstanceLock> lock(new InstanceLock(fd));
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) fail("Cannot lock", lockFile);
    if (std::chrono::steady_clock::now() >= deadline) {
      *holder = waitForPid(fd);
      return nullptr;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  writePid(fd);
  return lock;
}

InstanceLock::~InstanceLock() { close(fd_); }

bool requestReopen(pid_t pid) {
  if (pid <= 1 || pid == getpid()) return false;
  return kill(pid, SIGUSR1) == 0;
}

}  // namespace host
