#ifndef VQ_TESTS_APP_APP_TEST_SUPPORT_H_
#define VQ_TESTS_APP_APP_TEST_SUPPORT_H_

#include <apr_general.h>

#include <string>
#include <utility>
#include <vector>

#include "app/vq_application.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace vq_app_test {

// Keeps APR initialised while it lives (initialisations nest).
struct AprInit {
  AprInit() { apr_initialize(); }
  ~AprInit() { apr_terminate(); }
};

// The application's rolling log in a fresh temporary directory; shut down on
// destruction so that the next test can configure its own.
class ScopedLog {
 public:
  explicit ScopedLog(VqApplication* a) { a->configureLogging("app", file_); }
  ~ScopedLog() { VqApplication::shutdownLogging(); }
  const std::string& file() const { return file_; }
  std::string text() const { return vq_testing::ReadFile(file_); }
  bool hasLineEndingWith(const std::string& end) const {
    return text().find(end + "\n") != std::string::npos;
  }

 private:
  vq_testing::ScopedTempDir dir_;
  std::string file_ = dir_.Append("vq.log");
};

inline VqApplication::Identity testIdentity(
    std::vector<std::string> defaultServers = {}) {
  VqApplication::Identity identity;
  identity.feedId = 363;
  identity.appId = 843;
  identity.name = identity.title = "Quillmere";
  identity.swf = "Quillmere.app";
  identity.defaultServers = std::move(defaultServers);
  return identity;
}

}  // namespace vq_app_test

#endif  // VQ_TESTS_APP_APP_TEST_SUPPORT_H_
