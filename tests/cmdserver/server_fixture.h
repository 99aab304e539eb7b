#ifndef VQ_TESTS_CMDSERVER_SERVER_FIXTURE_H_
#define VQ_TESTS_CMDSERVER_SERVER_FIXTURE_H_

#include <apr_general.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <stdexcept>

#include "cmdserver/command_target.h"
#include "cmdserver/mongoose.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/scoped_temp_dir.h"

namespace cmdserver_testing {

using vq_testing::LoopbackExchange;
using Calls = std::vector<std::string>;
using Headers = std::vector<std::string>;

// Records, in order, what the server asks of the application, from several
// threads at once. Documents not starting with "<vq" fail.
class FakeCommandTarget : public CommandTarget {
 public:
  explicit FakeCommandTarget(const std::string& dataDir)
      : env_{{"dir.data", dataDir}, {"app.name", "Demo"}} {}

  std::string applicationXml() const override { return "<application />"; }
  void updateNow() override { Record("wake"); }
  void setQuit(bool quit) override { Record(quit ? "quit" : "stay"); }
  void setStartItem() override { Record("setstart"); }
  void launchSwf() override { Record("launchswf"); }
  void processTransactions(const std::string& xml) override {
    Record("process " + xml);
    if (xml.compare(0, 3, "<vq") != 0) throw std::runtime_error("bad document");
  }
  int launchProcess(std::string& exe, std::vector<std::string>& args) override {
    std::string call = "launch " + exe;
    for (const std::string& arg : args) call += "|" + arg;
    Record(call);
    return 0;
  }
  std::string getEnv(const std::string& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = env_.find(name);
    return found != env_.end() ? found->second : "";
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
    const bool inside =
        !tested.empty() && tested[0] != '/' && tested.find("..") == std::string::npos;
    return inside ? getEnv("dir.data") + "/" + tested : "";
  }

  Calls calls;  // read it only once the requests are answered

 private:
  void Record(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls.push_back(call);
  }

  std::mutex mutex_;
  std::map<std::string, std::string> env_;
};

inline sockaddr_in Loopback(unsigned short port) {
  return sockaddr_in{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
}

// Everything after the first blank line of a raw answer.
inline std::string BodyOf(const std::string& answer) {
  std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

// The exact head of a 200 reply of the given content type.
inline std::string OkHead(const std::string& type) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
         "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
}

// A running server (from port 8080 up) over a fake application `Target`
// whose data directory is a fresh temporary directory.
template <class Target>
class ServerTestOver : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = std::make_unique<apr::Pool>();
    server_ = std::make_unique<Mongoose>(*pool_, &target_);
    port_ = server_->port();
  }
  void TearDown() override { server_.reset(), pool_.reset(); }

  // `method` `target` with `headers` ("Name: value" lines; the Host header
  // of this server unless the first one is a Host header) and `body`.
  std::string Send(const std::string& method, const std::string& target,
                   Headers headers = {}, const std::string& body = "") {
    if (headers.empty() || headers[0].compare(0, 5, "Host:") != 0) {
      headers.insert(headers.begin(), "Host: 127.0.0.1:" + std::to_string(port_));
    }
    std::string request = method + " " + target + " HTTP/1.1\r\nConnection: close\r\n";
    for (const std::string& header : headers) request += header + "\r\n";
    if (!body.empty() || method == "POST" || method == "PUT") {
      request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return LoopbackExchange(port_, request + "\r\n" + body);
  }
  std::string Get(const std::string& target) { return Send("GET", target); }
  // `target` with the server's key added as the "key" parameter.
  std::string Keyed(const std::string& target) const {
    return target + (target.find('?') == std::string::npos ? "?" : "&") +
           "key=" + server_->key();
  }

  vq_testing::ScopedTempDir dir_;
  std::unique_ptr<apr::Pool> pool_;
  Target target_{dir_.path()};
  std::unique_ptr<Mongoose> server_;
  unsigned short port_ = 0;
};
using ServerTest = ServerTestOver<FakeCommandTarget>;

}  // namespace cmdserver_testing

#endif  // VQ_TESTS_CMDSERVER_SERVER_FIXTURE_H_
