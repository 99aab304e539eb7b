#include "app_test_support.h"

#include <fstream>
#include <utility>

namespace vq_app_test {

ScopedLog::ScopedLog(VqApplication* application)
    : file_(dir_.Append("vq.log")) {
  application->configureLogging("app", file_);
}

ScopedLog::~ScopedLog() { VqApplication::shutdownLogging(); }

std::vector<std::string> ScopedLog::lines() const {
  std::vector<std::string> result;
  std::ifstream in(file_);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

bool ScopedLog::hasLineEndingWith(const std::string& suffix) const {
  for (const std::string& line : lines()) {
    if (line.size() >= suffix.size() &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) ==
            0) {
      return true;
    }
  }
  return false;
}

VqApplication::Identity testIdentity(std::vector<std::string> defaultServers) {
  VqApplication::Identity identity;
  identity.feedId = 363;
  identity.appId = 843;
  identity.build = "Apr 19 2010 11:38:00";
  identity.platform = "mac";
  identity.name = "Quillmere";
  identity.title = "Quillmere";
  identity.swf = "Quillmere.app";
  identity.defaultServers = std::move(defaultServers);
  return identity;
}

}  // namespace vq_app_test
