#ifndef VQ_TESTS_LIFECYCLE_APP_TEST_SUPPORT_H_
#define VQ_TESTS_LIFECYCLE_APP_TEST_SUPPORT_H_

#include <apr_general.h>
#include <gtest/gtest.h>

#include <string>

#include "lifecycle/vq_application.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace vq_app_test {

// The application's rolling log in a fresh temporary directory; shut down on
// destruction so that the next test can configure its own.
struct ScopedLog {
  explicit ScopedLog(VqApplication* a) { a->configureLogging("app", file); }
  ~ScopedLog() { VqApplication::shutdownLogging(); }
  std::string text() const { return vq_testing::ReadFile(file); }
  bool hasLineEndingWith(const std::string& end) const {
    return text().find(end + "\n") != std::string::npos;
  }
  vq_testing::ScopedTempDir dir;
  const std::string file = dir.Append("vq.log");
};

}  // namespace vq_app_test

#endif  // VQ_TESTS_LIFECYCLE_APP_TEST_SUPPORT_H_
