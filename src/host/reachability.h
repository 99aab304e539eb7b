#ifndef VQ_HOST_REACHABILITY_H_
#define VQ_HOST_REACHABILITY_H_

#include <memory>
#include <string>

namespace host {

enum class HostReachability {
  kReachable,
  // The name cannot be resolved: no request can reach it.
  kUnreachable,
  // The check could not be made (resolver failure, temporary error); the
  // caller should go on as if reachable.
  kUnknown,
  // The text is not something a check can be made for at all (empty, too
  // long, embedded NUL or blank).
  kCannotCheck,
};

// Answers whether a host name can be reached before any request is sent.
class Reachability {
 public:
  virtual ~Reachability() = default;
  virtual HostReachability check(const std::string& host) = 0;
};

// Name resolution through the system resolver (getaddrinfo). Names in the
// reserved "invalid" top-level domain are answered as unreachable without a
// lookup, as resolvers are asked to do for that domain.
std::shared_ptr<Reachability> createReachability();

}  // namespace host

#endif  // VQ_HOST_REACHABILITY_H_
