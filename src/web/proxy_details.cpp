#include "web/proxy_details.h"

#include <log4cpp/Category.hh>

#include <cstring>
#include <optional>
#include <stdexcept>

namespace {

std::optional<host::ProxyKind> kindOf(ProxyDetails::ProxyType type) {
  switch (type) {
    case ProxyDetails::HTTP:
      return host::ProxyKind::kHttp;
    case ProxyDetails::HTTPS:
      return host::ProxyKind::kHttps;
    case ProxyDetails::SOCKS:
      return host::ProxyKind::kSocks;
    default:
      return std::nullopt;
  }
}

bool isAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c == 0 || c > 0x7f) return false;
  }
  return true;
}

}  // namespace

ProxyDetails::ProxyDetails(ProxyType type, const char*) : type_(type) {
  const std::optional<host::ProxyKind> kind = kindOf(type);
  if (kind) {
    retrieve(host::readProxySetting(*kind));
  } else {
    retrieve(host::ProxySetting());
  }
}

ProxyDetails::ProxyDetails(ProxyType type, const host::ProxySetting& setting)
    : type_(type) {
  retrieve(setting);
}

void ProxyDetails::retrieve(const host::ProxySetting& setting) {
  enabled_ = false;
  if (!kindOf(type_)) {
    log4cpp::Category& logger =
        log4cpp::Category::getInstance("ProxyDetails.ProxyDetails");
    if (type_ == AUTO) {
      logger.warn("We don't support auto-config proxies with CURL on Mac yet");
    } else {
      logger.errorStream() << "Unknown proxy type requested: "
                           << static_cast<int>(type_);
    }
    return;
  }

  log4cpp::Category& logger =
      log4cpp::Category::getInstance("ProxyDetails.retrieve");
  if (!setting.enable) {
    logger.error("Failed to retrieve enable key value.");
    return;
  }
  if (*setting.enable == 0) return;

  bool ok = true;
  if (!setting.host) {
    logger.error("Host string null or invalid type.");
    ok = false;
  } else if (setting.host->size() >= sizeof(host_) || !isAscii(*setting.host)) {
    logger.error("Host C-String conversion failed.");
    ok = false;
  } else {
    std::memcpy(host_, setting.host->c_str(), setting.host->size() + 1);
  }

  if (!setting.port) {
    logger.error("Port number null or invalid type.");
    ok = false;
  } else if (*setting.port < 0 || *setting.port > 0xffff) {
    // A port that does not fit 16 bits would silently name another one.
    logger.error("Port number value retrieve failed.");
    ok = false;
  } else {
    port_ = static_cast<std::uint16_t>(*setting.port);
  }
  enabled_ = ok;
}

const char* ProxyDetails::proxytype_cstr() const {
  switch (type_) {
    case HTTP:
      return "http";
    case HTTPS:
      return "https";
    case SOCKS:
      return "socks";
    case AUTO:
      return "auto";
    default:
      return nullptr;
  }
}

void ProxyDetails::checkProxy(const char*) {
  throw std::runtime_error("ProxyDetails::checkProxy is deprecated");
}
