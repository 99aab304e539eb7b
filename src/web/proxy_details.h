#ifndef VQ_WEB_PROXY_DETAILS_H_
#define VQ_WEB_PROXY_DETAILS_H_

#include <cstdint>

#include "host/proxy_settings.h"

// The system's setting for one kind of proxy: whether it is enabled, its
// host and its port. Automatic configuration is not supported.
class ProxyDetails {
 public:
  enum ProxyType : std::int32_t {
    HTTP = 0,
    HTTPS = 1,
    SOCKS = 2,
    AUTO = 3,
  };

  // Reads the platform's settings. `url` is accepted and not used.
  ProxyDetails(ProxyType type, const char* url);
  // Takes the setting as given instead of reading it (for HTTP, HTTPS and
  // SOCKS; other types behave as with the constructor above).
  ProxyDetails(ProxyType type, const host::ProxySetting& setting);

  // True only when the setting says enabled and both a host and a port were
  // read.
  bool enabled() const { return enabled_; }
  const char* host() const { return host_; }
  std::uint16_t port() const { return port_; }
  // "http", "https", "socks", "auto", or null for any other value.
  const char* proxytype_cstr() const;

  // Always throws std::runtime_error("ProxyDetails::checkProxy is
  // deprecated").
  [[noreturn]] static void checkProxy(const char* url);

 private:
  void retrieve(const host::ProxySetting& setting);

  ProxyType type_;
  bool enabled_ = false;
  char host_[1024] = {0};
  std::uint16_t port_ = 0;
};

#endif  // VQ_WEB_PROXY_DETAILS_H_
