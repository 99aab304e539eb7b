#ifndef VQ_TESTS_TESTING_CHILD_PROCESS_H_
#define VQ_TESTS_TESTING_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vq_testing {

// A child process running `argv` (argv[0] is a path) with the test's
// environment plus `env` ("NAME=value", replacing a variable of that name),
// standard input from /dev/null and its output in `files` + ".out" and
// ".err". Killed (SIGKILL) and reaped on destruction.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv,
               const std::vector<std::string>& env, const std::string& files);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Sends `number` while the child has not been reaped.
  void Signal(int number);
  bool Running();
  // The exit status, or 128 + the signal that ended the child; -1 when it
  // did not end within `deadline`.
  int Wait(std::chrono::milliseconds deadline = std::chrono::seconds(20));
  // What Wait returned last: -1 until the child has been reaped.
  int ExitStatus() const { return status_; }
  // The peak resident memory in KiB the kernel accounted to the child once
  // it has been reaped; 0 before.
  long ReapedPeakRssKiB() const { return peak_rss_kib_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
  long peak_rss_kib_ = 0;
};

}  // namespace vq_testing

#endif  // VQ_TESTS_TESTING_CHILD_PROCESS_H_
