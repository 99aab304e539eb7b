#include "bounds/agent_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace vq_bounds_test {
namespace {

std::string ReadIfThere(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

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

AgentProcess::~AgentProcess() {
  if (Running()) {
    kill(pid_, SIGKILL);
    WaitForExit(std::chrono::seconds(10));
  }
}

void AgentProcess::Start() {
  const std::string exe = bundle_ + "/Contents/MacOS/vqagent";
  const std::string out = temp_.Append("agent.out");
  const std::string err = temp_.Append("agent.err");
  std::string homeVar = "HOME=" + home_;
  std::string configVar = "XDG_CONFIG_HOME=" + home_ + "/.config";
  pid_ = fork();
  if (pid_ == 0) {
    putenv(homeVar.data());
    putenv(configVar.data());
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    dup2(open(out.c_str(), flags, 0600), 1);
    dup2(open(err.c_str(), flags, 0600), 2);
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("cannot start " + exe);
}

void AgentProcess::Signal(int number) {
  if (Running()) kill(pid_, number);
}

bool AgentProcess::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  rusage usage = {};
  if (wait4(pid_, &status, WNOHANG, &usage) == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    peakRssKiB_ = usage.ru_maxrss;
  }
  return !reaped_;
}

bool AgentProcess::WaitForExit(std::chrono::milliseconds deadline) {
  return vq_testing::WaitFor([this] { return !Running(); }, deadline);
}

long AgentProcess::PeakRssKiB() {
  if (!Running()) return peakRssKiB_;
  std::istringstream status(
      ReadIfThere("/proc/" + std::to_string(pid_) + "/status"));
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
