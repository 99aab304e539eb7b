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

TEST(AprStatusTest, LogAprAndErrAprPrefixPerThreadStatusText) {
  vq_testing::LogCapture log("test.aprstatus");
  const apr_status_t missing = APR_FROM_OS_ERROR(ENOENT);
  const std::string prefix = "[APR STATUS: " + AprText(missing) + "] ";
  logApr(log4cpp::Priority::ERROR, log.category(), missing, "Open %s", "/n");
  std::string thrown = "errApr returned";
  try {
    errApr(log.category(), missing, "Failed to remove %s", "x");
  } catch (const std::string& text) {
    thrown = text;
  }
  EXPECT_EQ(prefix + "Failed to remove x", thrown);
  EXPECT_EQ((std::vector<std::string>{"ERROR " + prefix + "Open /n", "ERROR " + thrown}),
            log.Take());
  const std::string huge(6000, 'z');
  logApr(log4cpp::Priority::ERROR, log.category(), missing, "%s", huge.c_str());
  EXPECT_EQ(std::vector<std::string>{"ERROR " + (prefix + huge).substr(0, 4095)}, log.Take());
  // The status text is per thread.
  const char* mine = aprStatus(APR_FROM_OS_ERROR(ENOENT));
  std::string theirs;
  std::thread([&] { theirs = aprStatus(APR_FROM_OS_ERROR(EACCES)); }).join();
  EXPECT_EQ(AprText(APR_FROM_OS_ERROR(ENOENT)), mine);
  EXPECT_EQ(AprText(APR_FROM_OS_ERROR(EACCES)), theirs);
}

TEST(VqExceptionTest, FormatsWithOptionalAprPrefixCutAt8191Characters) {
  const auto client = VqException::ZONE_CLIENT;
  const auto low = VqException::SEVERITY_LOW;
  EXPECT_STREQ("Server returned: html (f.cpp:12)",
               VqException("u", VqException::ZONE_SERVER, VqException::SEVERITY_HIGH,
                           kErrNotVqRoot, "Server returned: %s (%s:%d)", "html", "f.cpp", 12)
                   .what());
  const std::string huge(10000, 'a');
  EXPECT_EQ(huge.substr(0, 8191),
            VqException(client, low, kErrGeneral, "%s", huge.c_str()).getErrorDescription());
  // The APR prefix and the text share the limit.
  const apr_status_t missing = APR_FROM_OS_ERROR(ENOENT);
  EXPECT_EQ(("[APR ERR: " + AprText(missing) + "] " + huge).substr(0, 8191),
            VqException(client, low, kErrGeneral, missing, "%s", huge.c_str())
                .getErrorDescription());
  // Texts given whole are never cut and default to a general client error.
  const VqException whole("http://127.0.0.1/vq.php", huge);
  EXPECT_EQ(huge, whole.getErrorDescription());
  EXPECT_EQ((std::vector<int>{0, 1, 110}),
            (std::vector<int>{whole.getErrorZone(), whole.getErrorSeverity(),
                              whole.getErrorCode()}));
}

}  // namespace
