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

// True when a file of this name is private to the agent and never served:
// the key file, the log and its rolled-over copies ("vq.log", "vq.log.1",
// ...), and every dot-file (the transaction journal ".transaction.dat" and
// its temporary among them). Letter case is ignored, because on a
// case-insensitive file system "VQ.LOG" opens "vq.log".
bool isPrivateName(const std::string& name);

// True when any segment of the normalized path is a private name.
bool namesPrivateFile(const std::string& path);

// True when a browser marks the request as coming from another site: a
// "Sec-Fetch-Site" header (null: absent) other than "same-origin" or "none",
// or an "Origin" header (null: absent) other than "http://127.0.0.1:`port`"
// or "http://localhost:`port`" (host letters in any case). Local programs
// send neither header, so they are never refused by this.
bool isCrossSiteRequest(const char* fetchSite, const char* origin,
                        unsigned short port);

}  // namespace cmdserver

#endif  // VQ_CMDSERVER_REQUEST_GUARD_H_
