#include "support/http_query_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/log_capture.h"

namespace {

using http::QueryString;

TEST(QueryStringTest, ParsesPairsLaterNamesWin) {
  QueryString query("a=1&b&a=2&z=%41%zz+");
  EXPECT_EQ(3u, query.size());
  EXPECT_EQ("2", query["a"]);
  ASSERT_NE(query.end(), query.find("b"));
  EXPECT_EQ("", query.find("b")->second);
  EXPECT_EQ("A%zz ", query["z"]);
  QueryString split("key=x%3Dy&k%3D=v=w");
  EXPECT_EQ("x=y", split["key"]);
  EXPECT_EQ("v=w", split["k="]);
  QueryString empties("&&x=1");
  EXPECT_EQ(2u, empties.size());
  EXPECT_EQ(1u, empties.count(""));
  EXPECT_TRUE(QueryString(nullptr).empty());
}

TEST(QueryStringTest, UrlDecodeKeepsMalformedEscapes) {
  const struct {
    const char* in;
    std::string out;
  } cases[] = {
      {"a+b", "a b"},
      {"%", "%"},
      {"%4", "%4"},
      {"%fF%2f", "\xff/"},
      {"a%00b", std::string("a\0b", 3)},
      {"%G1", "%G1"},
      // Exactly two hexadecimal digits: strtol's sign and blanks are not.
      {"%-1", "%-1"},
      {"% f", "% f"},
      {"%+f", "% f"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.out, QueryString::urlDecode(c.in));
}

TEST(QueryStringTest, StrsepSplitsLikeBsd) {
  char text[] = "a&&b=c&";
  char* cursor = text;
  std::vector<std::string> tokens;
  while (char* token = http::strsep(&cursor, "&="))
    tokens.push_back(token);
  EXPECT_EQ((std::vector<std::string>{"a", "", "b", "c", ""}), tokens);
  EXPECT_EQ(nullptr, cursor);
  EXPECT_EQ(nullptr, http::strsep(&cursor, "&"));
}

TEST(QueryStringTest, DebugLogsPairsOnVarsChild) {
  vq_testing::LogCapture vars("QsTestWeb.vars");
  log4cpp::Category& parent = log4cpp::Category::getInstance("QsTestWeb");
  const QueryString query("b=2&a=1");
  parent.setPriority(log4cpp::Priority::INFO);
  query.debug(parent);
  EXPECT_TRUE(vars.Take().empty());
  parent.setPriority(log4cpp::Priority::DEBUG);
  query.debug(parent);
  EXPECT_EQ((std::vector<std::string>{"DEBUG a=1", "DEBUG b=2"}), vars.Take());
}

}  // namespace
