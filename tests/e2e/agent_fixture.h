#ifndef VQ_TESTS_E2E_AGENT_FIXTURE_H_
#define VQ_TESTS_E2E_AGENT_FIXTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "e2e/child_process.h"
#include "testing/scoped_temp_dir.h"

namespace e2e {

// One installation of the real agent (a copy of the bundle the build lays
// out), its own HOME, and the reference update server on 127.0.0.1 that the
// installation's initial data points at. The agent's log and output are
// printed when a test fails.
class AgentTest : public ::testing::Test {
 protected:
  AgentTest();
  ~AgentTest() override;
  void TearDown() override;

  // Starts vqserve answering "vq.php" with the documents `documents` (served
  // in order, the last one repeated), and points the installation at it.
  void StartServer(const std::vector<std::string>& documents);
  // Starts the agent with `args` after the program name.
  ChildProcess& StartAgent(const std::vector<std::string>& args = {});
  // Runs the agent with `args` to its end; returns its exit status.
  int RunAgent(const std::vector<std::string>& args);

  std::string DataDir() const;
  std::string DataPath(const std::string& name) const;
  std::string Executable() const;
  std::string Bundle() const { return bundle_; }
  std::string AutostartEntry() const;
  std::string AgentOutput() const;
  std::string AgentErrors() const;
  // Lines of launches.txt, where the demo's delivered application records
  // the arguments of each start.
  std::vector<std::string> Launches() const;

  // Waits until the agent's log holds `text`.
  bool WaitForLog(const std::string& text,
                  std::chrono::milliseconds deadline = std::chrono::seconds(20));
  // Waits for the command server's address file and returns "127.0.0.1:PORT".
  std::string CommandServer();
  // The access key, once written (empty when there is none).
  std::string ServerKey() const;
  // Sends one raw HTTP request to the command server and returns the whole
  // reply. `request` lacks the Host line unless `host` is empty.
  std::string Http(const std::string& method, const std::string& target,
                   const std::string& body = "",
                   const std::string& host = "127.0.0.1");
  // Stops the agent through "/~cmd/quit"; true when it exited with status 0.
  bool QuitAgent();

  vq_testing::ScopedTempDir temp_;
  std::string home_;
  std::string bundle_;
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> agent_;
  int agentRuns_ = 0;
};

}  // namespace e2e

#endif  // VQ_TESTS_E2E_AGENT_FIXTURE_H_
