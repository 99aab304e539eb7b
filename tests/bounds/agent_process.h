#ifndef VQ_BOUNDS_AGENT_PROCESS_H_
#define VQ_BOUNDS_AGENT_PROCESS_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "testing/child_process.h"
#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"
#include "vqsign/rsa_signer.h"

namespace vq_bounds_test {

using vq_testing::ReadIfThere;

// The real agent: a copy of the bundle the build lays out, with its own
// HOME, `server` (an "http://127.0.0.1:PORT" URL) its only update server and
// `feed`, when not empty, the feed file its data directory is seeded with;
// started as a user would start it. Killed and reaped on destruction.
class AgentProcess {
 public:
  explicit AgentProcess(const std::string& server, const std::string& feed = "")
      : home_(temp_.Append("home")), bundle_(temp_.Append("vqagent.app")) {
    vq_testing::MakeDirs(home_);
    std::filesystem::copy(VQ_BUNDLE_DIR, bundle_, std::filesystem::copy_options::recursive);
    const std::string seed = bundle_ + "/Contents/MacOS/initial_data/";
    vq_testing::WriteFile(seed + "vqconnect.xml", "<vqconnect version=\"1.0\"><server>" +
                                                      server + "</server></vqconnect>");
    if (!feed.empty()) vq_testing::WriteFile(seed + "vqfeed.xml", feed);
  }

  void Start() {
    child_ = std::make_unique<vq_testing::ChildProcess>(
        std::vector<std::string>{bundle_ + "/Contents/MacOS/vqagent"},
        std::vector<std::string>{"HOME=" + home_, "XDG_CONFIG_HOME=" + home_ + "/.config"},
        temp_.Append("agent"));
  }
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

  std::string DataPath(const std::string& name = "") const {
    return home_ + "/Library/Application Support/VqDemo/Quillmere/" + name;
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
  vq_testing::ScopedTempDir temp_;
  const std::string home_;
  const std::string bundle_;
  std::unique_ptr<vq_testing::ChildProcess> child_;
};

// `body` signed with the demo server's key, in base64 ("" on failure).
inline std::string SignBase64(const std::string& body) {
  std::string error;
  auto signer = vqtools::RsaSigner::fromPemFile(VQ_DEMO_PRIVATE_KEY, &error);
  EXPECT_TRUE(signer) << error;
  return signer ? signer->signBase64(body) : "";
}

}  // namespace vq_bounds_test

#endif  // VQ_BOUNDS_AGENT_PROCESS_H_
