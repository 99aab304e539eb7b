#include "host/run_loop.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>

namespace host {
namespace {

// Each wake-up is one byte in the pipe: the signal number, or 0 for
// terminate(). Only the write end is reached from handlers, through this
// lock-free atomic, so the handler is async-signal-safe.
std::atomic<int> wakeWriteFd{-1};
int wakeReadFd = -1;  // touched only by the thread owning the loop
struct sigaction previousActions[3];
constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGUSR1};

void wake(unsigned char code) {
  const int saved = errno;
  const int fd = wakeWriteFd.load();
  if (fd >= 0) {
    // A full pipe already holds enough wake-ups; the byte may be dropped.
    while (write(fd, &code, 1) < 0 && errno == EINTR) {
    }
  }
  errno = saved;
}

void onSignal(int signal) { wake(static_cast<unsigned char>(signal)); }

sigset_t loopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

RunLoop::RunLoop() {
  static_assert(std::atomic<int>::is_always_lock_free,
                "the signal handler needs a lock-free descriptor");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("RunLoop: pipe failed: ") +
                             std::strerror(errno));
  }
  int expected = -1;
  if (!wakeWriteFd.compare_exchange_strong(expected, fds[1])) {
    close(fds[0]);
    close(fds[1]);
    throw std::runtime_error("RunLoop: a run loop already exists");
  }
  wakeReadFd = fds[0];
  struct sigaction action = {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  // Other threads' system calls go on after the handler.
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) {
    sigaction(kSignals[i], &action, &previousActions[i]);
  }
}

RunLoop::~RunLoop() {
  for (int i = 0; i < 3; ++i) {
    sigaction(kSignals[i], &previousActions[i], nullptr);
  }
  const int writeFd = wakeWriteFd.exchange(-1);
  close(writeFd);
  close(wakeReadFd);
  wakeReadFd = -1;
}

int RunLoop::run(const std::function<void()>& onReopen) {
  const sigset_t signals = loopSignals();
  sigset_t previousMask;
  pthread_sigmask(SIG_UNBLOCK, &signals, &previousMask);
  int result = -1;
  while (result < 0) {
    pollfd readable = {wakeReadFd, POLLIN, 0};
    if (poll(&readable, 1, -1) < 0) continue;  // EINTR from our own signals
    unsigned char code = 0;
    while (result < 0 && read(wakeReadFd, &code, 1) == 1) {
      if (code == SIGUSR1) {
        if (onReopen) onReopen();
      } else {
        result = code;
      }
    }
  }
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  return result;
}

void RunLoop::terminate() { wake(0); }

void RunLoop::terminateCurrent() { wake(0); }

}  // namespace host
