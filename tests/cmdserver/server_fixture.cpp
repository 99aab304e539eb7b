#include "cmdserver/server_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace cmdserver_testing {

std::string Exchange(unsigned short port, const std::string& request) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ==
      0) {
    // The server may answer and close before reading everything.
    for (std::size_t sent = 0; sent < request.size();) {
      ssize_t n = send(fd, request.data() + sent, request.size() - sent,
                       MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    char buffer[8192];
    for (ssize_t got; (got = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
      answer.append(buffer, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  return answer;
}

std::string BodyOf(const std::string& answer) {
  std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

std::string OkHead(const std::string& type) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
         "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
}

void ServerTest::SetUp() {
  ASSERT_EQ(apr_initialize(), APR_SUCCESS);
  pool_ = std::make_unique<apr::Pool>();
  target_ = std::make_unique<FakeCommandTarget>(dir_.path());
  server_ = std::make_unique<Mongoose>(*pool_, target_.get());
  port_ = server_->port();
}

void ServerTest::TearDown() {
  server_.reset();
  pool_.reset();
  apr_terminate();
}

std::string ServerTest::Get(const std::string& target,
                            const std::string& host) {
  return Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: " + host +
                             "\r\nConnection: close\r\n\r\n");
}

std::string ServerTest::Post(const std::string& target,
                             const std::string& body) {
  return Exchange(port_, "POST " + target + " HTTP/1.1\r\nHost: localhost:" +
                             std::to_string(port_) + "\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::string ServerTest::Keyed(const std::string& target) const {
  return target + (target.find('?') == std::string::npos ? "?" : "&") +
         "key=" + server_->key();
}

}  // namespace cmdserver_testing
