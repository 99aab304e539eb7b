#ifndef VQ_TESTS_E2E_CHILD_PROCESS_H_
#define VQ_TESTS_E2E_CHILD_PROCESS_H_

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/wait_for.h"

namespace vq_e2e {

// A child with the environment plus `env`, output to `files` + ".out" and
// ".err"; killed and reaped on destruction.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, std::vector<std::string> env,
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
  ~ChildProcess() {
    if (Running()) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int number) {
    if (Running()) kill(pid_, number);
  }
  pid_t Pid() const { return pid_; }
  bool Running() {
    int status = 0;
    if (!reaped_ && waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status)
                                  : 128 + WTERMSIG(status);
    }
    return !reaped_;
  }
  // The exit status, or 128 + the signal that ended the child; -1 when it
  // did not end in time.
  int Wait(std::chrono::seconds deadline = std::chrono::seconds(20)) {
    vq_testing::WaitFor([this] { return !Running(); }, deadline);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace vq_e2e

#endif  // VQ_TESTS_E2E_CHILD_PROCESS_H_
