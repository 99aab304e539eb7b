// Response-header collection: each input is sent, byte for byte, as the
// whole answer (status line, headers, body) of a loopback server to a real
// request through the platform transport, and the headers the request keeps
// are checked: names in lower case, printable ASCII (and tabs) only.
//
// The transport follows redirects, so an input holding "location" in any
// letter case is skipped: a redirect must never leave the machine.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <stdexcept>
#include <thread>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "support/apr_pool.h"
#include "support/vq_exception.h"
#include "web/apple_web.h"

namespace vq_fuzz {
namespace {

// A socket listening on 127.0.0.1 for the whole process.
class Listener {
 public:
  Listener() {
    // Never through a proxy the environment may name.
    setenv("no_proxy", "127.0.0.1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof(address);
    if (fd_ < 0 ||
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(fd_); }

  unsigned short port() const { return port_; }

  // Accepts one connection (waiting at most 10 s), reads the request head
  // and answers `answer`, then closes.
  void ServeOnce(const std::string& answer) const {
    pollfd waiting{fd_, POLLIN, 0};
    if (poll(&waiting, 1, 10000) != 1) return;
    const int conn = accept(fd_, nullptr, nullptr);
    if (conn < 0) return;
    timeval timeout{5, 0};
    setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = recv(conn, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<size_t>(n));
    }
    for (size_t sent = 0; sent < answer.size();) {
      const ssize_t n = send(conn, answer.data() + sent, answer.size() - sent,
                             MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    close(conn);
  }

 private:
  int fd_ = -1;
  unsigned short port_ = 0;
};

const Listener& listener() {
  static const Listener instance;
  return instance;
}

// Printable ASCII or a tab, the text headers are kept as.
bool IsPrintableAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 0x20 && c < 0x7f) || c == '\t';
  });
}

}  // namespace

bool FuzzResponseHeaders(const uint8_t* data, size_t size,
                         std::string* failure) {
  const std::string answer = Bytes(data, size);
  std::string lower = answer;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (lower.find("location") != std::string::npos) return true;

  const Listener& server = listener();
  std::thread serving([&server, &answer] { server.ServeOnce(answer); });
  apr::Pool pool;
  bool received = false;
  AppleWeb web(pool);
  try {
    web.setUrl(("http://127.0.0.1:" + std::to_string(server.port()) +
                "/vq.php").c_str());
    web.setTotalTimeoutSeconds(10);
    received = web.get();
  } catch (const VqException&) {
  } catch (const std::exception&) {
  }
  serving.join();
  if (!received) return true;
  for (const auto& [name, value] : web.getHeaders()) {
    if (name.empty() || !IsPrintableAscii(name) || !IsPrintableAscii(value)) {
      *failure = "a header that is not printable text was kept";
      return false;
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return c >= 'A' && c <= 'Z'; })) {
      *failure = "a header name kept with upper-case letters: " + name;
      return false;
    }
  }
  web.getHeader("xxx-vq-sig");
  return true;
}

}  // namespace vq_fuzz
