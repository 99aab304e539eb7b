#include "host/url_parser.h"

#include <curl/curl.h>

#include <memory>

namespace host {
namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
  void operator()(char* text) const { curl_free(text); }
};

}  // namespace

ParsedUrl parseUrl(const std::string& url) {
  ParsedUrl result;
  std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  // A NUL inside the text would make libcurl see a shorter URL than the one
  // that gets logged and reported.
  if (!handle || url.find('\0') != std::string::npos) return result;
  // Schemes libcurl does not speak still parse, as any URL would; whether
  // the transfer can use the scheme is the transport's business.
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(),
                   CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return result;
  }
  result.parsed = true;
  char* host = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      host != nullptr) {
    std::unique_ptr<char, TextDeleter> owned(host);
    result.host = host;
  }
  return result;
}

}  // namespace host
