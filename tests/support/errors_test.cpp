// Error texts: APR status lines and exceptions carried to the servers.
#include <apr_errno.h>
#include <apr_strings.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "support/apr_status.h"
#include "support/vq_exception.h"
#include "testing/log_capture.h"

namespace {

std::string AprText(apr_status_t status) {
  char buffer[512];
  return apr_strerror(status, buffer, sizeof(buffer));
}

// The status text is per thread.
TEST(AprStatusTest, LogAprAndErrAprPrefixPerThreadStatusText) {
  vq_testing::LogCapture log("test.aprstatus");
  const apr_status_t missing = APR_FROM_OS_ERROR(ENOENT);
  const std::string prefix = "[APR STATUS: " + AprText(missing) + "] ";
  logApr(log4cpp::Priority::ERROR, log.category(), missing, "Open %s", "/n");
  try {
    errApr(log.category(), missing, "Failed to remove %s", "x");
    FAIL() << "errApr returned";
  } catch (const std::string& text) {
    EXPECT_EQ(prefix + "Failed to remove x", text);
  }
  EXPECT_EQ((std::vector<std::string>{"ERROR " + prefix + "Open /n",
                                      "ERROR " + prefix + "Failed to remove x"}),
            log.Take());
  const std::string huge(6000, 'z');
  logApr(log4cpp::Priority::ERROR, log.category(), missing, "%s", huge.c_str());
  const std::string cut = "ERROR " + (prefix + huge).substr(0, 4095);
  EXPECT_EQ(std::vector<std::string>{cut}, log.Take());
  const char* mine = aprStatus(APR_FROM_OS_ERROR(ENOENT));
  std::string theirs;
  std::thread([&] { theirs = aprStatus(APR_FROM_OS_ERROR(EACCES)); }).join();
  EXPECT_EQ(AprText(APR_FROM_OS_ERROR(ENOENT)), mine);
  EXPECT_EQ(AprText(APR_FROM_OS_ERROR(EACCES)), theirs);
}

TEST(VqExceptionTest, FormatsWithOptionalAprPrefixCutAt8191Characters) {
  const auto client = VqException::ZONE_CLIENT;
  const auto low = VqException::SEVERITY_LOW;
  const VqException plain("u", VqException::ZONE_SERVER,
                          VqException::SEVERITY_HIGH, kErrNotVqRoot,
                          "Server returned: %s (%s:%d)", "html", "f.cpp", 12);
  EXPECT_STREQ("Server returned: html (f.cpp:12)", plain.what());
  const std::string huge(10000, 'a');
  EXPECT_EQ(huge.substr(0, 8191),
            VqException(client, low, kErrGeneral, "%s", huge.c_str())
                .getErrorDescription());
  // The APR prefix and the text share the limit.
  const apr_status_t missing = APR_FROM_OS_ERROR(ENOENT);
  EXPECT_EQ(("[APR ERR: " + AprText(missing) + "] " + huge).substr(0, 8191),
            VqException(client, low, kErrGeneral, missing, "%s", huge.c_str())
                .getErrorDescription());
  // Texts given whole are never cut and default to a general client error.
  const VqException whole("http://127.0.0.1/vq.php", huge);
  EXPECT_EQ(huge, whole.getErrorDescription());
  EXPECT_EQ(0, whole.getErrorZone());
  EXPECT_EQ(1, whole.getErrorSeverity());
  EXPECT_EQ(110, whole.getErrorCode());
}

}  // namespace
