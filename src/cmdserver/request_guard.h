#ifndef VQ_CMDSERVER_REQUEST_GUARD_H_
#define VQ_CMDSERVER_REQUEST_GUARD_H_

#include <string>

namespace cmdserver {

// Name of the key file in the data directory.
extern const char kKeyFileName[];  // "vq.server.key"

// True when a request with this Host header may be served by the server
// listening on 127.0.0.1:`port`: "127.0.0.1" or "localhost" (any letter
// case), alone or followed by ":" and `port`. Any other name is refused so
// that a page whose DNS name was rebound to 127.0.0.1 cannot reach the
// server. A request without a Host header (null) is allowed: only HTTP/1.0
// clients omit it, and browsers never do.
bool isAllowedHost(const char* host, unsigned short port);

// The decoded request path with empty and "." segments dropped and ".."
// segments applied (never above the root), always starting with "/" and
// without a trailing "/" (except the root itself).
std::string normalizePath(const std::string& path);

// True when any segment of the normalized path is the key file's name, so
// "/vq.server.key", "//a/../vq.server.key/" and "/vq.server.key/x" all are.
bool namesKeyFile(const std::string& path);

}  // namespace cmdserver

#endif  // VQ_CMDSERVER_REQUEST_GUARD_H_
