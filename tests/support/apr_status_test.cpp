#include "support/apr_status.h"

#include <apr_errno.h>
#include <apr_strings.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "testing/log_capture.h"

namespace {

std::string AprText(apr_status_t status) {
  char buffer[512];
  return apr_strerror(status, buffer, sizeof(buffer));
}

TEST(AprStatusTest, LogAprAndErrAprPrefixStatusText) {
  vq_testing::LogCapture log("test.aprstatus");
  const apr_status_t missing = APR_FROM_OS_ERROR(ENOENT);
  const std::string prefix = "[APR STATUS: " + AprText(missing) + "] ";
  logApr(log4cpp::Priority::ERROR, log.category(), missing,
         "Opening directory %s", "/nowhere");
  try {
    errApr(log.category(), missing, "Failed to remove %s", "x");
    FAIL() << "errApr returned";
  } catch (const std::string& text) {
    EXPECT_EQ(prefix + "Failed to remove x", text);
  }
  EXPECT_EQ((std::vector<std::string>{
                "ERROR " + prefix + "Opening directory /nowhere",
                "ERROR " + prefix + "Failed to remove x"}),
            log.Take());

  log.category().setPriority(log4cpp::Priority::WARN);
  logApr(log4cpp::Priority::DEBUG, log.category(), missing, "quiet");
  EXPECT_TRUE(log.Take().empty());
  const std::string huge(6000, 'z');
  logApr(log4cpp::Priority::ERROR, log.category(), missing, "%s", huge.c_str());
  const std::vector<std::string> lines = log.Take();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(std::string("ERROR ").size() + 4095u, lines[0].size());
}

TEST(AprStatusTest, StatusTextIsPerThread) {
  const char* mine = aprStatus(APR_FROM_OS_ERROR(ENOENT));
  std::string theirs;
  std::thread([&] { theirs = aprStatus(APR_FROM_OS_ERROR(EACCES)); }).join();
  EXPECT_EQ(AprText(APR_FROM_OS_ERROR(ENOENT)), mine);
  EXPECT_EQ(AprText(APR_FROM_OS_ERROR(EACCES)), theirs);
}

}  // namespace
