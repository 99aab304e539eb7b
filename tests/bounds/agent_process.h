#ifndef VQ_BOUNDS_AGENT_PROCESS_H_
#define VQ_BOUNDS_AGENT_PROCESS_H_

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "e2e/agent_sandbox.h"
#include "testing/loopback_exchange.h"

namespace vq_bounds_test {

using vq_testing::ReadIfThere;

// The real agent in an installation of its own: `server` (an
// "http://127.0.0.1:PORT" URL) is its only update server and `feed`, when
// not empty, the feed file its data directory is seeded with. Killed and
// reaped on destruction.
class AgentProcess : public vq_e2e::AgentSandbox {
 public:
  explicit AgentProcess(const std::string& server, const std::string& feed = "") {
    ConnectTo(server);
    if (!feed.empty()) {
      vq_testing::WriteFile(bundle + "/Contents/MacOS/initial_data/vqfeed.xml", feed);
    }
  }

  void Start() { child_ = Agent(); }
  void Signal(int number) { child_->Signal(number); }
  bool Running() { return child_->Running(); }
  // The exit status; -1 when the agent did not end within `deadline`.
  int Wait(std::chrono::milliseconds deadline) { return child_->Wait(deadline); }

  // Peak resident memory in KiB: read from /proc while the agent runs,
  // from the kernel's account of the reaped child after it ended.
  long PeakRssKiB() {
    if (!Running()) return child_->ReapedPeakRssKiB();
    std::istringstream status(ReadIfThere("/proc/" + std::to_string(child_->pid()) + "/status"));
    for (std::string line; std::getline(status, line);) {
      long kib = 0;
      if (std::sscanf(line.c_str(), "VmHWM: %ld kB", &kib) == 1) return kib;
    }
    return 0;
  }

  // The end of the agent's log ("vq.log.1", then "vq.log"), for failure messages.
  std::string LogTail() const {
    const std::string log = ReadIfThere(DataPath("vq.log.1")) + ReadIfThere(DataPath("vq.log"));
    return log.size() > 4096 ? log.substr(log.size() - 4096) : log;
  }
  // The command server's "127.0.0.1:PORT", once the agent has written it.
  std::string CommandServer() const {
    vq_testing::WaitFor([&] { return !ReadIfThere(DataPath("vq.server")).empty(); });
    return ReadIfThere(DataPath("vq.server"));
  }
  // One GET to the command server; the whole reply, empty when none came
  // within `timeout`.
  std::string Get(const std::string& target, std::chrono::milliseconds timeout) const {
    int port = 0;
    std::sscanf(CommandServer().c_str(), "127.0.0.1:%d", &port);
    return vq_testing::LoopbackExchange(
        port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        timeout);
  }

 private:
  std::unique_ptr<vq_testing::ChildProcess> child_;
};

}  // namespace vq_bounds_test

#endif  // VQ_BOUNDS_AGENT_PROCESS_H_
