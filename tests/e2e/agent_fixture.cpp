#include "e2e/agent_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <sstream>

#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace e2e {

namespace fs = std::filesystem;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

AgentTest::AgentTest() {
  home_ = temp_.Append("home");
  vq_testing::MakeDirs(home_);
  bundle_ = temp_.Append("install/vqagent.app");
  fs::create_directories(temp_.Append("install"));
  fs::copy(VQ_BUNDLE_DIR, bundle_, fs::copy_options::recursive);
}

AgentTest::~AgentTest() = default;

void AgentTest::TearDown() {
  if (agent_) {
    agent_->signal(SIGTERM);
    agent_->waitForExit(std::chrono::seconds(10));
  }
  if (HasFailure()) {
    std::cerr << "---- agent standard error ----\n" << AgentErrors();
    const std::string log = DataPath("vq.log");
    if (PathExists(log)) std::cerr << "---- vq.log ----\n" << ReadFile(log);
  }
  agent_.reset();
  if (server_) {
    server_->signal(SIGTERM);
    server_->waitForExit(std::chrono::seconds(10));
  }
}

void AgentTest::StartServer(const std::vector<std::string>& documents) {
  const std::string actions = temp_.Append("actions");
  vq_testing::MakeDirs(actions);
  for (size_t i = 0; i < documents.size(); ++i) {
    char name[32];
    snprintf(name, sizeof(name), "%02zu.xml", i);
    WriteFile(actions + "/" + name, documents[i]);
  }
  const std::string portFile = temp_.Append("server.url");
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{VQSERVE_PATH, "--listen", "127.0.0.1:0",
                               "--key", VQ_DEMO_PRIVATE_KEY, "--actions",
                               actions, "--downloads", VQ_DEMO_FILES, "--log",
                               temp_.Append("requests.log"), "--port-file",
                               portFile},
      std::map<std::string, std::string>{}, temp_.Append("vqserve.out"),
      temp_.Append("vqserve.err"));
  ASSERT_TRUE(WaitFor([&] { return PathExists(portFile); }));
  std::string url = ReadFile(portFile);
  url = url.substr(0, url.find('\n'));
  WriteFile(bundle_ + "/Contents/MacOS/initial_data/vqconnect.xml",
            "<vqconnect version=\"1.0\"><server>" + url +
                "</server></vqconnect>");
}

ChildProcess& AgentTest::StartAgent(const std::vector<std::string>& args) {
  std::vector<std::string> argv{Executable()};
  argv.insert(argv.end(), args.begin(), args.end());
  ++agentRuns_;
  agent_ = std::make_unique<ChildProcess>(
      argv,
      std::map<std::string, std::string>{
          {"HOME", home_}, {"XDG_CONFIG_HOME", home_ + "/.config"}},
      temp_.Append("agent.out"), temp_.Append("agent.err"));
  return *agent_;
}

int AgentTest::RunAgent(const std::vector<std::string>& args) {
  ChildProcess& agent = StartAgent(args);
  if (!agent.waitForExit(std::chrono::seconds(30))) return -1;
  return agent.exitStatus();
}

std::string AgentTest::DataDir() const {
  return home_ + "/Library/Application Support/VqDemo/Quillmere";
}

std::string AgentTest::DataPath(const std::string& name) const {
  return DataDir() + "/" + name;
}

std::string AgentTest::Executable() const {
  return bundle_ + "/Contents/MacOS/vqagent";
}

std::string AgentTest::AutostartEntry() const {
  return home_ + "/.config/autostart/vqagent.desktop";
}

std::string AgentTest::AgentOutput() const {
  const std::string file = temp_.Append("agent.out");
  return PathExists(file) ? ReadFile(file) : "";
}

std::string AgentTest::AgentErrors() const {
  const std::string file = temp_.Append("agent.err");
  return PathExists(file) ? ReadFile(file) : "";
}

std::vector<std::string> AgentTest::Launches() const {
  std::vector<std::string> lines;
  const std::string file = DataPath("launches.txt");
  if (!PathExists(file)) return lines;
  std::istringstream in(ReadFile(file));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool AgentTest::WaitForLog(const std::string& text,
                           std::chrono::milliseconds deadline) {
  const std::string log = DataPath("vq.log");
  return WaitFor(
      [&] { return PathExists(log) && ReadFile(log).find(text) != std::string::npos; },
      deadline);
}

std::string AgentTest::CommandServer() {
  const std::string file = DataPath("vq.server");
  WaitFor([&] { return PathExists(file) && !ReadFile(file).empty(); });
  return PathExists(file) ? ReadFile(file) : "";
}

std::string AgentTest::ServerKey() const {
  const std::string file = DataPath("vq.server.key");
  // Written just after the address file; a crashed agent leaves an old one.
  WaitFor([&] { return PathExists(file) && !ReadFile(file).empty(); },
          std::chrono::seconds(5));
  try {
    return ReadFile(file);
  } catch (const std::runtime_error&) {
    return "";  // removed meanwhile by a stopping agent
  }
}

std::string AgentTest::Http(const std::string& method,
                            const std::string& target, const std::string& body,
                            const std::string& host) {
  const std::string address = CommandServer();
  const int port = atoi(address.substr(address.find(':') + 1).c_str());
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) == 0) {
    std::string request = method + " " + target + " HTTP/1.1\r\n";
    if (!host.empty()) request += "Host: " + host + "\r\n";
    request += "Connection: close\r\n";
    if (!body.empty() || method == "POST") {
      request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n" + body;
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      timeval timeout{10, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
      char buffer[4096];
      for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
        reply.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(fd);
  return reply;
}

bool AgentTest::QuitAgent() {
  Http("GET", "/~cmd/quit");
  return agent_->waitForExit(std::chrono::seconds(20)) &&
         agent_->exitStatus() == 0;
}

}  // namespace e2e
