#include "host/proxy_settings.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace host {
namespace {

constexpr long kDefaultProxyPort = 1080;

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
  void operator()(char* text) const { curl_free(text); }
};

const char* environmentValue(ProxyKind kind) {
  const char* lower = "http_proxy";
  const char* upper = "HTTP_PROXY";
  switch (kind) {
    case ProxyKind::kHttp:
      break;
    case ProxyKind::kHttps:
      lower = "https_proxy";
      upper = "HTTPS_PROXY";
      break;
    case ProxyKind::kSocks:
      lower = "all_proxy";
      upper = "ALL_PROXY";
      break;
  }
  const char* value = std::getenv(lower);
  if (value == nullptr || *value == '\0') value = std::getenv(upper);
  return value;
}

std::optional<std::string> urlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
    return std::nullopt;
  }
  std::unique_ptr<char, TextDeleter> owned(text);
  return std::string(text);
}

}  // namespace

ProxySetting readProxySetting(ProxyKind kind) {
  ProxySetting setting;
  const char* value = environmentValue(kind);
  if (value == nullptr || *value == '\0') {
    setting.enable = 0;
    return setting;
  }
  setting.enable = 1;

  std::string text = value;
  // A bare "host:port" has no scheme for the URL parser to find.
  if (text.find("://") == std::string::npos) text = "http://" + text;
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(),
                           CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return setting;
  }
  std::optional<std::string> host = urlPart(url.get(), CURLUPART_HOST);
  if (host && !host->empty()) setting.host = *host;
  std::optional<std::string> port = urlPart(url.get(), CURLUPART_PORT);
  // The URL parser has already checked that a written port is a number in
  // 1..65535.
  setting.port = port ? std::strtol(port->c_str(), nullptr, 10)
                      : kDefaultProxyPort;
  return setting;
}

}  // namespace host
