#ifndef VQ_TESTS_MAIN_CHILD_PROCESS_H_
#define VQ_TESTS_MAIN_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vq_testing {

// A child process with the test's environment plus `env` ("NAME=value"),
// standard input from /dev/null and its output in `files` + ".out" and
// ".err". Killed (SIGKILL) and reaped on destruction.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, std::vector<std::string> env,
               const std::string& files);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int number);
  bool Running();
  // The exit status, or 128 + the signal that ended the child; -1 when it
  // did not end within `deadline`.
  int Wait(std::chrono::seconds deadline = std::chrono::seconds(20));

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace vq_testing

#endif  // VQ_TESTS_MAIN_CHILD_PROCESS_H_
