#include "cmdserver/request_guard.h"

#include <strings.h>

#include <cstring>
#include <vector>

namespace cmdserver {

const char kKeyFileName[] = "vq.server.key";

namespace {

std::vector<std::string> pathSegments(const std::string& path) {
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(start, end - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  return segments;
}

bool hostNameMatches(const std::string& name) {
  return strcasecmp(name.c_str(), "127.0.0.1") == 0 ||
         strcasecmp(name.c_str(), "localhost") == 0;
}

}  // namespace

bool isAllowedHost(const char* host, unsigned short port) {
  if (host == nullptr) return true;
  std::string value(host);
  std::size_t colon = value.find(':');
  if (colon == std::string::npos) return hostNameMatches(value);
  return hostNameMatches(value.substr(0, colon)) &&
         value.substr(colon + 1) == std::to_string(port);
}

std::string normalizePath(const std::string& path) {
  std::string normalized;
  for (const std::string& segment : pathSegments(path)) {
    normalized += "/" + segment;
  }
  return normalized.empty() ? "/" : normalized;
}

bool namesKeyFile(const std::string& path) {
  for (const std::string& segment : pathSegments(path)) {
    if (segment == kKeyFileName) return true;
  }
  return false;
}

}  // namespace cmdserver
