#ifndef VQ_HOST_PROXY_SETTINGS_H_
#define VQ_HOST_PROXY_SETTINGS_H_

#include <optional>
#include <string>

namespace host {

enum class ProxyKind { kHttp, kHttps, kSocks };

// The system's setting for one kind of proxy. An absent member means the
// system holds no value of that name.
struct ProxySetting {
  std::optional<long> enable;
  std::optional<std::string> host;
  std::optional<long> port;
};

// Reads the setting from the environment: http_proxy for HTTP, https_proxy
// for HTTPS and all_proxy for SOCKS, the lower-case name before the
// upper-case one. An unset or empty variable gives enable 0. A set one gives
// enable 1, the host of its "[scheme://][user@]host[:port]" text (absent
// when the text does not parse or names no host) and its port (1080, the
// usual proxy port, when none is written).
ProxySetting readProxySetting(ProxyKind kind);

}  // namespace host

#endif  // VQ_HOST_PROXY_SETTINGS_H_
