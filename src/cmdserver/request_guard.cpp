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

bool isPrivateName(const std::string& name) {
  static const char kLogName[] = "vq.log";
  constexpr std::size_t kLogNameLength = sizeof(kLogName) - 1;
  if (!name.empty() && name[0] == '.') return true;
  if (strcasecmp(name.c_str(), kKeyFileName) == 0) return true;
  if (strncasecmp(name.c_str(), kLogName, kLogNameLength) != 0) return false;
  return name.size() == kLogNameLength || name[kLogNameLength] == '.';
}

bool namesPrivateFile(const std::string& path) {
  for (const std::string& segment : pathSegments(path)) {
    if (isPrivateName(segment)) return true;
  }
  return false;
}

bool isCrossSiteRequest(const char* fetchSite, const char* origin,
                        unsigned short port) {
  if (fetchSite != nullptr && strcasecmp(fetchSite, "same-origin") != 0 &&
      strcasecmp(fetchSite, "none") != 0) {
    return true;
  }
  if (origin == nullptr) return false;
  const std::string portText = ":" + std::to_string(port);
  for (const char* host : {"http://127.0.0.1", "http://localhost"}) {
    if (strcasecmp(origin, (host + portText).c_str()) == 0) return false;
  }
  return true;
}

}  // namespace cmdserver
