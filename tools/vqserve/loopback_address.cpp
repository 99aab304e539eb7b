#include "vqserve/loopback_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace vqtools {

namespace {

bool parsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5)
    return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  if (value > 65535)
    return false;
  *port = value;
  return true;
}

}  // namespace

bool LoopbackAddress::parse(const std::string& text,
                            LoopbackAddress* out,
                            std::string* error) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    *error = "listen address must be HOST:PORT, got '" + text + "'";
    return false;
  }
  const std::string host = text.substr(0, colon);
  LoopbackAddress result;
  if (!parsePort(text.substr(colon + 1), &result.port)) {
    *error = "bad port in listen address '" + text + "'";
    return false;
  }
  if (host == "localhost") {
    result.host = "127.0.0.1";
  } else if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    in6_addr address;
    const std::string inner = host.substr(1, host.size() - 2);
    if (inet_pton(AF_INET6, inner.c_str(), &address) != 1 ||
        std::memcmp(&address, &in6addr_loopback, sizeof(address)) != 0) {
      *error = "refusing to listen on " + host + ": not a loopback address";
      return false;
    }
    result.host = "[::1]";
  } else {
    in_addr address;
    // inet_pton accepts only the dotted-quad form, so "127.1" or "0x7f..."
    // cannot slip past the range check.
    if (inet_pton(AF_INET, host.c_str(), &address) != 1) {
      *error =
          "listen host must be a numeric loopback address, got '" + host + "'";
      return false;
    }
    if ((ntohl(address.s_addr) >> 24) != 127) {
      *error = "refusing to listen on " + host + ": not a loopback address";
      return false;
    }
    result.host = host;
  }
  *out = result;
  return true;
}

std::string LoopbackAddress::listeningSpec(int port) const {
  return host + ":" + std::to_string(port);
}

}  // namespace vqtools
