#include "testing/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "testing/wait_for.h"

extern char** environ;

namespace vq_testing {
namespace {

// `extra` followed by the variables of this process that `extra` does not
// name.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env = extra;
  for (char** var = environ; *var != nullptr; ++var) {
    const std::string entry = *var;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& own : extra)
      replaced = replaced || own.compare(0, name.size(), name) == 0;
    if (!replaced) env.push_back(entry);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Closes the descriptors it holds when it goes.
struct Descriptors {
  int fds[3] = {-1, -1, -1};
  ~Descriptors() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env,
                           const std::string& files) {
  if (argv.empty()) throw std::invalid_argument("no program to start");
  // Everything the child needs is prepared before fork: only
  // async-signal-safe calls run between fork and exec.
  std::vector<std::string> args = argv;
  std::vector<std::string> vars = ChildEnvironment(env);
  const std::vector<char*> argp = Pointers(args);
  const std::vector<char*> envp = Pointers(vars);
  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  Descriptors io;
  io.fds[0] = open("/dev/null", O_RDONLY | O_CLOEXEC);
  io.fds[1] = open((files + ".out").c_str(), flags, 0600);
  io.fds[2] = open((files + ".err").c_str(), flags, 0600);
  for (int fd : io.fds) {
    if (fd < 0)
      throw std::runtime_error("cannot open the output of " + argv[0] + ": " +
                               std::strerror(errno));
  }
  pid_ = fork();
  if (pid_ == 0) {
    // dup2 clears close-on-exec on the copies only.
    for (int target = 0; target < 3; ++target) dup2(io.fds[target], target);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
  if (Running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ChildProcess::Signal(int number) {
  if (Running()) kill(pid_, number);
}

bool ChildProcess::Running() {
  int status = 0;
  rusage usage = {};
  if (!reaped_ && wait4(pid_, &status, WNOHANG, &usage) == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    peak_rss_kib_ = usage.ru_maxrss;
  }
  return !reaped_;
}

int ChildProcess::Wait(std::chrono::milliseconds deadline) {
  WaitFor([this] { return !Running(); }, deadline);
  return status_;
}

}  // namespace vq_testing
