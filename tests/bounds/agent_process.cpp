#include "bounds/agent_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/wait_for.h"
#include "vqsign/rsa_signer.h"

namespace vq_bounds_test {
using vq_testing::ReadIfThere;

AgentProcess::AgentProcess(const std::string& server, const std::string& feed)
    : home_(temp_.Append("home")), bundle_(temp_.Append("vqagent.app")) {
  vq_testing::MakeDirs(home_);
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle_, std::filesystem::copy_options::recursive);
  const std::string seed = bundle_ + "/Contents/MacOS/initial_data/";
  vq_testing::WriteFile(seed + "vqconnect.xml",
                        "<vqconnect version=\"1.0\"><server>" + server + "</server></vqconnect>");
  if (!feed.empty()) vq_testing::WriteFile(seed + "vqfeed.xml", feed);
}

AgentProcess::~AgentProcess() = default;

void AgentProcess::Start() {
  child_ = std::make_unique<vq_testing::ChildProcess>(
      std::vector<std::string>{bundle_ + "/Contents/MacOS/vqagent"},
      std::vector<std::string>{"HOME=" + home_, "XDG_CONFIG_HOME=" + home_ + "/.config"},
      temp_.Append("agent"));
}

void AgentProcess::Signal(int number) {
  if (child_) child_->Signal(number);
}

bool AgentProcess::Running() { return child_ && child_->Running(); }

bool AgentProcess::WaitForExit(std::chrono::milliseconds deadline) {
  return vq_testing::WaitFor([this] { return !Running(); }, deadline);
}

long AgentProcess::PeakRssKiB() {
  if (!Running()) return child_ ? child_->ReapedPeakRssKiB() : 0;
  std::istringstream status(
      ReadIfThere("/proc/" + std::to_string(child_->pid()) + "/status"));
  for (std::string line; std::getline(status, line);) {
    long kib = 0;
    if (std::sscanf(line.c_str(), "VmHWM: %ld kB", &kib) == 1) return kib;
  }
  return 0;
}

std::string AgentProcess::DataPath(const std::string& name) const {
  return home_ + "/Library/Application Support/VqDemo/Quillmere/" + name;
}

std::string AgentProcess::Log() const {
  return ReadIfThere(DataPath("vq.log.1")) + ReadIfThere(DataPath("vq.log"));
}

std::string AgentProcess::CommandServer() const {
  vq_testing::WaitFor([&] { return !ReadIfThere(DataPath("vq.server")).empty(); });
  return ReadIfThere(DataPath("vq.server"));
}

std::string AgentProcess::Get(const std::string& target,
                              std::chrono::milliseconds timeout) const {
  int port = 0;
  std::sscanf(CommandServer().c_str(), "127.0.0.1:%d", &port);
  return vq_testing::LoopbackExchange(
      port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", timeout);
}

std::string SignBase64(const std::string& body) {
  std::string error;
  auto signer = vqtools::RsaSigner::fromPemFile(VQ_DEMO_PRIVATE_KEY, &error);
  EXPECT_TRUE(signer) << error;
  return signer ? signer->signBase64(body) : "";
}

}  // namespace vq_bounds_test
