#ifndef VQ_BOUNDS_AGENT_PROCESS_H_
#define VQ_BOUNDS_AGENT_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "testing/child_process.h"
#include "testing/scoped_temp_dir.h"

namespace vq_bounds_test {

// The real agent: a copy of the bundle the build lays out, with its own
// HOME, pointed at one update server; started as a user would start it.
// Killed and reaped on destruction.
class AgentProcess {
 public:
  // Lays out the installation; `server` (an "http://127.0.0.1:PORT" URL)
  // becomes its only update server. `feed`, when not empty, replaces the
  // feed file the data directory is seeded with.
  explicit AgentProcess(const std::string& server,
                        const std::string& feed = "");
  ~AgentProcess();

  AgentProcess(const AgentProcess&) = delete;
  AgentProcess& operator=(const AgentProcess&) = delete;

  void Start();
  void Signal(int number);
  bool Running();
  // Waits for the exit; true when it came before `deadline`.
  bool WaitForExit(std::chrono::milliseconds deadline);
  int ExitStatus() const { return child_ ? child_->ExitStatus() : -1; }
  // Peak resident memory in KiB: read from /proc while the agent runs,
  // from the kernel's account of the reaped child after it ended.
  long PeakRssKiB();

  std::string DataPath(const std::string& name = "") const;
  // The agent's log, "vq.log.1" before "vq.log"; empty when there is none.
  std::string Log() const;
  // The command server's "127.0.0.1:PORT", once the agent has written it.
  std::string CommandServer() const;
  // One GET to the command server with a receive limit of `timeout`; the
  // whole reply, empty when none came in time.
  std::string Get(const std::string& target,
                  std::chrono::milliseconds timeout) const;

 private:
  vq_testing::ScopedTempDir temp_;
  const std::string home_;
  const std::string bundle_;
  std::unique_ptr<vq_testing::ChildProcess> child_;
};

// `body` signed with the demo server's key, in base64 ("" on failure).
std::string SignBase64(const std::string& body);

}  // namespace vq_bounds_test

#endif  // VQ_BOUNDS_AGENT_PROCESS_H_
