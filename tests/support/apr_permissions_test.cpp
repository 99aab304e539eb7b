#include "support/apr_permissions.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace {

std::string ErrorOf(const char* text, bool extended) {
  try {
    extended ? apr_permstr(text, 0, false) : apr_permstr(text);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(AprPermissionsTest, StrictParseAndPrintRoundTrip) {
  EXPECT_EQ(0x750, apr_permstr("rwxr-x---"));
  EXPECT_STREQ("rwxr-x---", apr_strperm(0x750));
  EXPECT_EQ(0x777, apr_permstr("rwxrwxrwx"));
  EXPECT_STREQ("rw-r--r--", apr_strperm(0x7644));  // higher bits not printed
}

TEST(AprPermissionsTest, ExtendedParseBuildsOnBase) {
  EXPECT_EQ(0x700, apr_permstr("rwd------", 0, true));
  EXPECT_EQ(0x600, apr_permstr("rwd------", 0, false));
  EXPECT_EQ(0x700, apr_permstr("rwd------", 0x755, false));  // keeps owner x
  EXPECT_EQ(0x640, apr_permstr("r..r.....", 0x600, false));
  EXPECT_EQ(0x664, apr_permstr("rw-<<-<--", 0, false));
  // "<" copies set bits only, from the value built so far.
  EXPECT_EQ(0x444, apr_permstr("r--<<-<<<", 0, false));
  EXPECT_EQ(0x777, apr_permstr("DDdDDdDDd", 0, true));
  EXPECT_EQ(0x010, apr_permstr("DDdDDdDDd", 0x010, false));
}

TEST(AprPermissionsTest, ParseErrorsNameTheProblem) {
  EXPECT_EQ(
      "permissions string '<w-------' contains a < token in the owner set "
      "of permissions. Not permitted.",
      ErrorOf("<w-------", true));
  EXPECT_EQ(
      "permissions string 'rwxr-x--' could not be parsed. String ended "
      "unexpectedly.",
      ErrorOf("rwxr-x--", true));
  EXPECT_EQ(
      "permission string 'rwxr-x---x' has too many characters. Only 9 "
      "permitted.",
      ErrorOf("rwxr-x---x", false));
  EXPECT_EQ(
      "permission string 'rwxq-x---' could no be parsed. Bad character at "
      "character 4",
      ErrorOf("rwxq-x---", false));
  EXPECT_EQ(
      "permission string 'rwd------' could no be parsed. Bad character at "
      "character 3",
      ErrorOf("rwd------", false));
  EXPECT_EQ(
      "permission string 'wr-------' could no be parsed. Bad character at "
      "character 1",
      ErrorOf("wr-------", true));
  EXPECT_EQ(
      "permissions string '' could not be parsed. String ended "
      "unexpectedly.",
      ErrorOf(nullptr, false));
}

TEST(AprPermissionsTest, PrintedTextIsPerThread) {
  const char* mine = apr_strperm(0x700);
  std::thread([] { EXPECT_STREQ("------rwx", apr_strperm(0x7)); }).join();
  EXPECT_STREQ("rwx------", mine);
}

}  // namespace
