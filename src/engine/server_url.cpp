#include "engine/server_url.h"

std::string serverPageUrl(const std::string& server, const char* page) {
  std::string url = server;
  if (url.empty() || url.back() != '/') url += '/';
  url += page;
  return url;
}
