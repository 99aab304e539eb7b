#include "engine/vqserve_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>


extern char** environ;

namespace engine_testing {

namespace {

// The JSON strings of one request-log line, in order, decoded. The server
// writes {"page":P,"method":M,"uri":U,...,"params":[[name,value]...]}, with
// each byte that is not UTF-8 as \u00XX.
std::vector<std::string> JsonStrings(const std::string& line) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '"') continue;
    std::string text;
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] != '\\') {
        text += line[i];
        continue;
      }
      const char c = line[++i];
      if (c == 'u') {
        text += static_cast<char>(
            std::strtoul(line.substr(i + 1, 4).c_str(), nullptr, 16));
        i += 4;
      } else {
        text += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
      }
    }
    out.push_back(std::move(text));
  }
  return out;
}

}  // namespace

std::string ServedRequest::param(const std::string& name) const {
  for (const auto& pair : params) {
    if (pair.first == name) return pair.second;
  }
  return std::string();
}

bool ServedRequest::has(const std::string& name) const {
  for (const auto& pair : params) {
    if (pair.first == name) return true;
  }
  return false;
}

std::vector<std::string> ServedRequest::names() const {
  std::vector<std::string> out;
  for (const auto& pair : params) out.push_back(pair.first);
  return out;
}

VqserveProcess::VqserveProcess(const std::string& logFile,
                               const std::vector<std::string>& extraArgs)
    : logFile_(logFile) {
  std::vector<std::string> args = {VQSERVE_PATH,   "--listen",
                                   "127.0.0.1:0",  "--key",
                                   VQ_DEMO_PRIVATE_KEY, "--log",
                                   logFile,        "--threads",
                                   "2"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  const int spawned =
      posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start vqserve");
  }
  // The first line names the address; a server that fails to start closes
  // the pipe instead.
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const std::string prefix = "listening ";
  if (line.compare(0, prefix.size(), prefix) != 0) {
    throw std::runtime_error("vqserve did not start: [" + line + "]");
  }
  baseUrl_ = line.substr(prefix.size());
}

VqserveProcess::~VqserveProcess() {
  if (pid_ <= 0) return;
  // The server's orderly stop waits for idle connections to time out; its
  // log is flushed per request, so nothing is lost by ending it at once.
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
}

std::vector<ServedRequest> VqserveProcess::requests() const {
  std::vector<ServedRequest> out;
  std::ifstream in(logFile_);
  std::string line;
  while (std::getline(in, line)) {
    const std::vector<std::string> strings = JsonStrings(line);
    ServedRequest request;
    std::size_t i = 0;
    // Before the "params" key: keys, each text field followed by its value.
    for (; i + 1 < strings.size() && strings[i] != "params"; ++i) {
      if (strings[i] == "page") request.page = strings[++i];
      else if (strings[i] == "method") request.method = strings[++i];
      else if (strings[i] == "uri") request.uri = strings[++i];
    }
    for (++i; i + 1 < strings.size(); i += 2) {
      request.params.emplace_back(strings[i], strings[i + 1]);
    }
    out.push_back(std::move(request));
  }
  return out;
}

std::vector<ServedRequest> VqserveProcess::requests(
    const std::string& page) const {
  std::vector<ServedRequest> out;
  for (ServedRequest& request : requests()) {
    if (request.page == page) out.push_back(std::move(request));
  }
  return out;
}

std::string DeadServerUrl() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  const int port = ntohs(address.sin_port);
  close(fd);
  return "http://127.0.0.1:" + std::to_string(port) + "/";
}

}  // namespace engine_testing
