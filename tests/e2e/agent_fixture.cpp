#include "e2e/agent_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <sstream>

#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace e2e {

using vq_testing::PathExists;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env,
                           const std::string& out, const std::string& err) {
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {  // The child: its environment and files, then the program.
    for (const std::string& var : env) putenv(const_cast<char*>(var.c_str()));
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), 2);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
  if (Running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool ChildProcess::Running() {
  int status = 0;
  if (!reaped_ && waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return !reaped_;
}

std::string ReadIfThere(const std::string& path) {
  try {
    return PathExists(path) ? vq_testing::ReadFile(path) : "";
  } catch (const std::runtime_error&) {
    return "";  // removed meanwhile
  }
}

AgentTest::AgentTest() {
  vq_testing::MakeDirs(home_);
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle_,
                        std::filesystem::copy_options::recursive);
}

void AgentTest::TearDown() {
  for (ChildProcess* child : {agent_.get(), server_.get()}) {
    if (child) {
      child->Signal(SIGTERM);
      child->WaitForExit(std::chrono::seconds(10));
    }
  }
  if (HasFailure()) {
    std::cerr << "---- agent errors ----\n"
              << ReadIfThere(temp_.Append("agent.err")) << "---- vq.log ----\n"
              << ReadIfThere(DataPath("vq.log"));
  }
}

void AgentTest::StartServer(const std::vector<std::string>& documents) {
  const std::string actions = temp_.Append("actions/");
  for (size_t i = 0; i < documents.size(); ++i) {
    WriteFile(actions + std::to_string(10 + i) + ".xml", documents[i]);
  }
  const std::string portFile = temp_.Append("server.url");
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{VQSERVE_PATH, "--key", VQ_DEMO_PRIVATE_KEY,
                               "--actions", actions, "--downloads",
                               VQ_DEMO_FILES, "--port-file", portFile},
      std::vector<std::string>{}, temp_.Append("vqserve.out"),
      temp_.Append("vqserve.err"));
  ASSERT_TRUE(WaitFor([&] { return PathExists(portFile); }));
  const std::string url = ReadIfThere(portFile);
  WriteFile(bundle_ + "/Contents/MacOS/initial_data/vqconnect.xml",
            "<vqconnect version=\"1.0\"><server>" +
                url.substr(0, url.find('\n')) + "</server></vqconnect>");
}

void AgentTest::StartAgent(const std::vector<std::string>& args) {
  std::vector<std::string> argv{bundle_ + "/Contents/MacOS/vqagent"};
  argv.insert(argv.end(), args.begin(), args.end());
  agent_ = std::make_unique<ChildProcess>(
      argv,
      std::vector<std::string>{"HOME=" + home_,
                               "XDG_CONFIG_HOME=" + home_ + "/.config"},
      temp_.Append("agent.out"), temp_.Append("agent.err"));
}

int AgentTest::RunAgent(const std::vector<std::string>& args) {
  StartAgent(args);
  return agent_->WaitForExit(std::chrono::seconds(30)) ? agent_->status() : -1;
}

std::vector<std::string> AgentTest::Launches() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadIfThere(DataPath("launches.txt")));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool AgentTest::WaitForLog(const std::string& text) {
  return WaitFor(
      [&] {
        return ReadIfThere(DataPath("vq.log")).find(text) != std::string::npos;
      },
      std::chrono::seconds(20));
}

std::string AgentTest::CommandServer() const {
  WaitFor([&] { return !ReadIfThere(DataPath("vq.server")).empty(); });
  return ReadIfThere(DataPath("vq.server"));
}

std::string AgentTest::Http(const std::string& method,
                            const std::string& target, const std::string& body,
                            const std::string& host) const {
  const std::string address = CommandServer();
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(
      std::atoi(address.substr(address.find(':') + 1).c_str())));
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: " + host +
                        "\r\nConnection: close\r\n";
  if (method == "POST") {
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n" + body;
  std::string reply;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
      reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return reply;
}

bool AgentTest::QuitAgent() {
  Http("GET", "/~cmd/quit");
  return agent_->WaitForExit() && agent_->status() == 0;
}

}  // namespace e2e
