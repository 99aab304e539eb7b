#include "testing/loopback_exchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vq_testing {

std::string LoopbackExchange(int port, const std::string& request,
                             std::chrono::milliseconds timeout) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
  const timeval limit{static_cast<time_t>(micros / 1000000),
                      static_cast<suseconds_t>(micros % 1000000)};
  for (int option : {SO_RCVTIMEO, SO_SNDTIMEO})
    setsockopt(fd, SOL_SOCKET, option, &limit, sizeof(limit));
  const sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)),
                            {htonl(INADDR_LOOPBACK)}, {}};
  std::string answer;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address),
              sizeof(address)) == 0) {
    // The server may answer and close before reading everything.
    ssize_t n = 0;
    for (std::size_t sent = 0; sent < request.size(); sent += n) {
      n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
    }
    char buffer[8192];
    while ((n = recv(fd, buffer, sizeof(buffer), 0)) > 0)
      answer.append(buffer, static_cast<std::size_t>(n));
  }
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  close(fd);
  return answer;
}

}  // namespace vq_testing
