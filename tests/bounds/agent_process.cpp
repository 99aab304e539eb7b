#include "bounds/agent_process.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace vq_bounds_test {
using vq_testing::ReadIfThere;

AgentProcess::AgentProcess(const std::string& server, const std::string& feed)
    : home_(temp_.Append("home")), bundle_(temp_.Append("vqagent.app")) {
  vq_testing::MakeDirs(home_);
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle_,
                        std::filesystem::copy_options::recursive);
  const std::string seed = bundle_ + "/Contents/MacOS/initial_data/";
  vq_testing::WriteFile(seed + "vqconnect.xml",
                        "<vqconnect version=\"1.0\"><server>" + server +
                            "</server></vqconnect>");
  if (!feed.empty()) vq_testing::WriteFile(seed + "vqfeed.xml", feed);
}

AgentProcess::~AgentProcess() = default;

void AgentProcess::Start() {
  child_ = std::make_unique<vq_testing::ChildProcess>(
      std::vector<std::string>{bundle_ + "/Contents/MacOS/vqagent"},
      std::vector<std::string>{"HOME=" + home_,
                               "XDG_CONFIG_HOME=" + home_ + "/.config"},
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
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string request = "GET " + target +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Connection: close\r\n\r\n";
  std::string reply;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return reply;
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
  timeval limit{static_cast<time_t>(micros / 1000000),
                static_cast<suseconds_t>(micros % 1000000)};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
      reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return reply;
}

}  // namespace vq_bounds_test
