#include "host/reachability.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <algorithm>
#include <cctype>

namespace host {
namespace {

// Longest DNS name in text form.
constexpr std::size_t kMaxHostLength = 253;

bool endsWithInvalidDomain(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  if (!name.empty() && name.back() == '.') name.pop_back();
  const std::string suffix = ".invalid";
  return name == "invalid" ||
         (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) ==
              0);
}

class ResolverReachability : public Reachability {
 public:
  HostReachability check(const std::string& host) override {
    // IPv6 literals come from URLs in brackets.
    std::string name = host;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
      name = name.substr(1, name.size() - 2);
    }
    if (name.empty() || name.size() > kMaxHostLength ||
        name.find_first_of(std::string(" \t\r\n\0", 5)) != std::string::npos) {
      return HostReachability::kCannotCheck;
    }
    if (endsWithInvalidDomain(name)) return HostReachability::kUnreachable;

    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (found != nullptr) freeaddrinfo(found);
    switch (rc) {
      case 0:
        return HostReachability::kReachable;
      case EAI_NONAME:
      case EAI_FAIL:
#ifdef EAI_NODATA
      case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
      case EAI_ADDRFAMILY:
#endif
        return HostReachability::kUnreachable;
      default:
        // EAI_AGAIN, EAI_SYSTEM, EAI_MEMORY...: the answer is not known.
        return HostReachability::kUnknown;
    }
  }
};

}  // namespace

std::shared_ptr<Reachability> createReachability() {
  return std::make_shared<ResolverReachability>();
}

}  // namespace host
