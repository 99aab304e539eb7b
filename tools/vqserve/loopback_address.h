#ifndef VQ_VQSERVE_LOOPBACK_ADDRESS_H_
#define VQ_VQSERVE_LOOPBACK_ADDRESS_H_

#include <string>

namespace vqtools {

// A listening address that can only be on this machine's loopback
// interface: an IPv4 address in 127.0.0.0/8, "localhost" (taken as
// 127.0.0.1), or "[::1]", followed by ":PORT". Port 0 asks for any free
// port.
struct LoopbackAddress {
  std::string host;  // as it goes into URLs: "127.0.0.1" or "[::1]"
  int port = 0;

  // Parses "HOST:PORT". Returns false and fills |error| for a malformed
  // text, a port outside 0..65535, or any host that is not loopback.
  static bool parse(const std::string& text,
                    LoopbackAddress* out,
                    std::string* error);

  // The listening-ports option of civetweb for this address and |port|.
  std::string listeningSpec(int port) const;
};

}  // namespace vqtools

#endif  // VQ_VQSERVE_LOOPBACK_ADDRESS_H_
