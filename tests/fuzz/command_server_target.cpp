// Command-server request handling: one server on 127.0.0.1 for the whole
// process, over a fake application, receives each input as a request whose
// target is the input's first line (with "${key}" replaced by the server's
// access key) and whose body is the rest. After each input the server must
// still answer a well-formed request (within 20 s).
//
// "/~cmd/crash" ends the process on purpose, so an input that could reach
// it (holding "crash" in any letter case, also once URL-decoded) is skipped.
#include <apr_general.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cmdserver/command_target.h"
#include "cmdserver/mongoose.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "support/apr_pool.h"
#include "support/http_query_string.h"

namespace vq_fuzz {
namespace {

// The application as the server sees it: variables in a map, everything
// else only acknowledged. Paths resolve inside the data directory as the
// real application resolves them: relative and without "..".
class FakeTarget : public CommandTarget {
 public:
  explicit FakeTarget(std::string dataDir) : dataDir_(std::move(dataDir)) {
    reset();
  }

  std::string applicationXml() const override { return "<application />"; }
  void updateNow() override {}
  void setQuit(bool) override {}
  void setStartItem() override {}
  void launchSwf() override {}
  void processTransactions(const std::string& xml) override {
    if (xml.compare(0, 3, "<vq") != 0) throw std::string("bad document");
  }
  int launchProcess(std::string&, std::vector<std::string>&) override {
    return 0;
  }
  std::string getEnv(const std::string& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return env_[name];
  }
  void setEnv(const std::string& name, const std::string& value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    env_[name] = value;
  }
  std::map<std::string, std::string> getEnvMap() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return env_;
  }
  std::string pathInDataDir(const std::string& tested) override {
    const bool inside = !tested.empty() && tested[0] != '/' &&
                        tested.find("..") == std::string::npos;
    return inside ? dataDir_ + "/" + tested : "";
  }

  // Back to the variables at start, so that inputs do not pile them up.
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    env_ = {{"dir.data", dataDir_}, {"app.name", "Demo"}};
  }

 private:
  const std::string dataDir_;
  std::mutex mutex_;
  std::map<std::string, std::string> env_;
};

// Keeps APR initialised while it lives (APR counts the calls), so that a
// server kept until the process exits can free its pool after whoever
// initialised APR first has terminated it.
class AprUse {
 public:
  AprUse() { apr_initialize(); }
  ~AprUse() { apr_terminate(); }
  AprUse(const AprUse&) = delete;
  AprUse& operator=(const AprUse&) = delete;
};

// The server and its data directory, started at the first input.
class Server {
 public:
  Server() : target_(dir_.path()) {
    WriteHello();
    server_ = std::make_unique<Mongoose>(pool_, &target_);
  }

  unsigned short port() const { return server_->port(); }
  const std::string& key() const { return server_->key(); }
  FakeTarget& target() { return target_; }

 private:
  void WriteHello() {
    const std::string path = dir_.path() + "/hello.txt";
    if (FILE* f = std::fopen(path.c_str(), "w")) {
      std::fputs("hello there", f);
      std::fclose(f);
    }
  }

  AprUse apr_;
  ScratchDir dir_;
  apr::Pool pool_;
  FakeTarget target_;
  std::unique_ptr<Mongoose> server_;
};

Server& server() {
  static Server instance;
  return instance;
}

// Sends `request` to 127.0.0.1:`port`, closes the sending side and returns
// every byte of the answer up to the server's close (at most 5 s per read).
std::string Exchange(unsigned short port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  timeval timeout{5, 0};
  for (int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
    setsockopt(fd, SOL_SOCKET, option, &timeout, sizeof(timeout));
  }
  const sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  std::string answer;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address),
              sizeof(address)) == 0) {
    ssize_t n = 0;
    for (size_t sent = 0; sent < request.size(); sent += n) {
      n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
    }
    shutdown(fd, SHUT_WR);
    char buffer[8192];
    while ((n = recv(fd, buffer, sizeof(buffer), 0)) > 0) {
      answer.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return answer;
}

bool MayReachCrash(const std::string& input) {
  std::string text = input;
  std::replace(text.begin(), text.end(), '\0', ' ');
  std::string decoded = http::QueryString::urlDecode(text.c_str());
  for (std::string* t : {&text, &decoded}) {
    std::transform(t->begin(), t->end(), t->begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (t->find("crash") != std::string::npos) return true;
  }
  return false;
}

void ReplaceAll(std::string* text, const std::string& from,
                const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos;
       at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

}  // namespace

bool FuzzCommandServer(const uint8_t* data, size_t size, std::string* failure) {
  const std::string input = Bytes(data, size);
  if (MayReachCrash(input)) return true;
  Server& s = server();
  s.target().reset();

  const size_t newline = input.find('\n');
  std::string target = input.substr(0, newline);
  const std::string body =
      newline == std::string::npos ? "" : input.substr(newline + 1);
  ReplaceAll(&target, "${key}", s.key());
  const std::string host = "127.0.0.1:" + std::to_string(s.port());
  std::string request = (body.empty() ? "GET " : "POST ") + target +
                        " HTTP/1.1\r\nHost: " + host +
                        "\r\nConnection: close\r\n";
  if (!body.empty()) {
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n" + body;
  Exchange(s.port(), request);

  // Under load a check may find every worker busy or no local port free
  // for a moment, so it is retried for a while; a server that crashed or
  // wedged never answers again.
  const std::string check = "GET /~cmd/version HTTP/1.1\r\nHost: " + host +
                            "\r\nConnection: close\r\n\r\n";
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string answer;
  while ((answer = Exchange(s.port(), check)).compare(0, 12, "HTTP/1.1 200") != 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      *failure = "the server no longer answers after the input: " +
                 answer.substr(0, 80);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace vq_fuzz
