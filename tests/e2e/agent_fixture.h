#ifndef VQ_TESTS_E2E_AGENT_FIXTURE_H_
#define VQ_TESTS_E2E_AGENT_FIXTURE_H_

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace e2e {

// A child process with the current environment plus `env` ("NAME=value"),
// its output and errors sent to files. Killed and reaped on destruction.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv,
               const std::vector<std::string>& env, const std::string& out,
               const std::string& err);
  ~ChildProcess();
  void Signal(int number) const {
    if (!reaped_) kill(pid_, number);
  }
  bool Running();
  // True when the child ended in time; status() is then its exit status, or
  // 128 + the signal that ended it.
  bool WaitForExit(std::chrono::seconds deadline = std::chrono::seconds(20)) {
    return vq_testing::WaitFor([this] { return !Running(); }, deadline);
  }
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

// One installation of the real agent (a copy of the bundle the build lays
// out) with its own HOME, and the reference update server on 127.0.0.1. The
// agent's errors and log are printed when a test fails.
class AgentTest : public ::testing::Test {
 protected:
  AgentTest();
  void TearDown() override;

  // Starts vqserve answering "vq.php" with `documents` in turn (the last one
  // repeated) and points the installation's initial data at it.
  void StartServer(const std::vector<std::string>& documents);
  void StartAgent(const std::vector<std::string>& args = {});
  int RunAgent(const std::vector<std::string>& args);  // its exit status

  std::string DataPath(const std::string& name = "") const {
    return home_ + "/Library/Application Support/VqDemo/Quillmere/" + name;
  }
  std::string Autostart() const {
    return home_ + "/.config/autostart/vqagent.desktop";
  }
  // Lines of launches.txt, where the delivered demo application records the
  // arguments of each start (from a detached process, so poll for them).
  std::vector<std::string> Launches() const;
  bool WaitForLog(const std::string& text);
  // Waits for the command server's address file: "127.0.0.1:PORT".
  std::string CommandServer() const;
  // One raw HTTP request to the command server; the whole reply.
  std::string Http(const std::string& method, const std::string& target,
                   const std::string& body = "",
                   const std::string& host = "127.0.0.1") const;
  // Stops the agent through "/~cmd/quit"; true when it exited with status 0.
  bool QuitAgent();

  vq_testing::ScopedTempDir temp_;
  const std::string home_ = temp_.Append("home");
  const std::string bundle_ = temp_.Append("vqagent.app");
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> agent_;
};

// The file's contents, or "" when it cannot be read.
std::string ReadIfThere(const std::string& path);

}  // namespace e2e

#endif  // VQ_TESTS_E2E_AGENT_FIXTURE_H_
