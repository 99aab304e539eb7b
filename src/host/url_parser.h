#ifndef VQ_HOST_URL_PARSER_H_
#define VQ_HOST_URL_PARSER_H_

#include <string>

namespace host {

struct ParsedUrl {
  // False when the text is not an absolute URL with a scheme.
  bool parsed = false;
  // The host name (brackets kept for IPv6 literals); empty when the URL has
  // none, as for "file:///x".
  std::string host;
};

// Parses an absolute URL. Never throws.
ParsedUrl parseUrl(const std::string& url);

}  // namespace host

#endif  // VQ_HOST_URL_PARSER_H_
