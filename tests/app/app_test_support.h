#ifndef VQ_TESTS_APP_APP_TEST_SUPPORT_H_
#define VQ_TESTS_APP_APP_TEST_SUPPORT_H_

#include <apr_general.h>

#include <string>
#include <vector>

#include "app/vq_application.h"
#include "testing/scoped_temp_dir.h"

namespace vq_app_test {

// Keeps APR initialised for the lifetime of the object (APR counts nested
// initialisations).
class AprInit {
 public:
  AprInit() { apr_initialize(); }
  ~AprInit() { apr_terminate(); }
  AprInit(const AprInit&) = delete;
  AprInit& operator=(const AprInit&) = delete;
};

// Logging into a fresh temporary directory for one test; shut down again on
// destruction so that the next test can configure its own.
class ScopedLog {
 public:
  explicit ScopedLog(VqApplication* application);
  ~ScopedLog();
  ScopedLog(const ScopedLog&) = delete;
  ScopedLog& operator=(const ScopedLog&) = delete;

  const std::string& file() const { return file_; }
  const std::string& directory() const { return dir_.path(); }
  // The lines of the log written so far.
  std::vector<std::string> lines() const;
  // True when some line ends with `suffix`.
  bool hasLineEndingWith(const std::string& suffix) const;

 private:
  vq_testing::ScopedTempDir dir_;
  std::string file_;
};

VqApplication::Identity testIdentity(
    std::vector<std::string> defaultServers = {});

}  // namespace vq_app_test

#endif  // VQ_TESTS_APP_APP_TEST_SUPPORT_H_
