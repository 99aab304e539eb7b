#ifndef VQ_TESTS_E2E_CHILD_PROCESS_H_
#define VQ_TESTS_E2E_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace e2e {

// A program run as a child process with its standard output and error sent
// to files. The destructor kills (SIGKILL) and reaps a child still running.
class ChildProcess {
 public:
  // Starts `argv` (argv[0] is the program's path) with the current
  // environment plus `env`. Throws std::runtime_error when it cannot start.
  ChildProcess(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& env,
               const std::string& outputFile, const std::string& errorFile);
  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int number) const;
  // Waits for the child to end; true when it did within `deadline`.
  bool waitForExit(std::chrono::milliseconds deadline);
  bool running();
  // Valid after waitForExit returned true: the exit status, or 128 + the
  // signal number when a signal ended the child.
  int exitStatus() const { return status_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace e2e

#endif  // VQ_TESTS_E2E_CHILD_PROCESS_H_
