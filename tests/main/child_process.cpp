#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "testing/wait_for.h"

namespace vq_testing {

ChildProcess::ChildProcess(std::vector<std::string> argv,
                           std::vector<std::string> env,
                           const std::string& files) {
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const std::string out = files + ".out", err = files + ".err";
  const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  pid_ = fork();
  if (pid_ == 0) {
    for (std::string& var : env) putenv(var.data());
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    dup2(open(out.c_str(), flags, 0600), 1);
    dup2(open(err.c_str(), flags, 0600), 2);
    execv(args[0], args.data());
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
  if (!reaped_ && waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return !reaped_;
}

int ChildProcess::Wait(std::chrono::seconds deadline) {
  WaitFor([this] { return !Running(); }, deadline);
  return status_;
}

}  // namespace vq_testing
