#include "support/vq_exception.h"

#include <apr_errno.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/apr_status.h"

namespace {

TEST(VqExceptionTest, TextConstructorsDefaultToGeneralError) {
  const VqException e("http://127.0.0.1/vq.php", std::string("went wrong"));
  EXPECT_EQ(0, e.getErrorZone());
  EXPECT_EQ(1, e.getErrorSeverity());
  EXPECT_EQ(110, e.getErrorCode());
  EXPECT_STREQ("went wrong", e.what());
  EXPECT_EQ("http://127.0.0.1/vq.php", e.url());
  EXPECT_EQ("", VqException("text only").url());
  EXPECT_EQ("u", VqException("u", "t").url());

  const VqException given(VqException::zone(1), VqException::severity(2),
                          VqException::code(4242), std::string("x"));
  const VqException copy = given;
  EXPECT_EQ(1, copy.getErrorZone());
  EXPECT_EQ(2, copy.getErrorSeverity());
  EXPECT_EQ(4242, copy.getErrorCode());
  EXPECT_EQ("x", copy.getErrorDescription());
}

TEST(VqExceptionTest, FormatsWithOptionalAprPrefix) {
  const VqException plain("http://h/", VqException::ZONE_SERVER,
                          VqException::SEVERITY_HIGH, kErrNotVqRoot,
                          "Server returned: %s (%s:%d)", "html", "f.cpp", 12);
  EXPECT_STREQ("Server returned: html (f.cpp:12)", plain.what());
  EXPECT_EQ("http://h/", plain.url());

  const apr_status_t missing = APR_FROM_OS_ERROR(ENOENT);
  const std::string prefix =
      std::string("[APR ERR: ") + aprStatus(missing) + "] ";
  const VqException apr(VqException::ZONE_CLIENT, VqException::SEVERITY_MEDIUM,
                        kErrWriteOpen, missing, "Failed to open %s", "a.txt");
  EXPECT_EQ(prefix + "Failed to open a.txt", apr.getErrorDescription());
  const VqException aprUrl("http://h/", VqException::ZONE_CLIENT,
                           VqException::SEVERITY_MEDIUM, kErrTempFileCreate,
                           missing, "Failed creation of temporary file.");
  EXPECT_EQ(prefix + "Failed creation of temporary file.",
            aprUrl.getErrorDescription());
  EXPECT_EQ("http://h/", aprUrl.url());
}

TEST(VqExceptionTest, FormattedTextIsCutAt8191Characters) {
  const std::string huge(10000, 'a');
  const std::string fits(8191, 'b');
  const auto zone = VqException::ZONE_CLIENT;
  const auto low = VqException::SEVERITY_LOW;
  EXPECT_EQ(8191u, VqException(zone, low, kErrGeneral, "%s", huge.c_str())
                       .getErrorDescription()
                       .size());
  EXPECT_EQ(fits, VqException(zone, low, kErrGeneral, "%s", fits.c_str())
                      .getErrorDescription());
  const VqException prefixed(zone, low, kErrGeneral, APR_FROM_OS_ERROR(ENOENT),
                             "%s", huge.c_str());
  EXPECT_EQ(8191u, prefixed.getErrorDescription().size());
  EXPECT_EQ(0u, prefixed.getErrorDescription().find("[APR ERR: "));
  // Texts given whole are never cut.
  EXPECT_EQ(huge.size(), VqException("u", huge).getErrorDescription().size());
}

}  // namespace
