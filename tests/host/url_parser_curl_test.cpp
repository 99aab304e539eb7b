#include "host/url_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace host {
namespace {

TEST(UrlParserTest, AbsoluteUrlsGiveTheirHost) {
  EXPECT_EQ("updates.example.com",
            parseUrl("http://updates.example.com/vq.php").host);
  EXPECT_EQ("127.0.0.1", parseUrl("https://127.0.0.1:8443/a?b=c").host);
  EXPECT_EQ("[::1]", parseUrl("http://[::1]:8080/").host);
  EXPECT_EQ("h", parseUrl("http://user:pw@h:1/").host);
}

TEST(UrlParserTest, TextsThatAreNoAbsoluteUrlDoNotParse) {
  EXPECT_FALSE(parseUrl("vq.php").parsed);
  EXPECT_FALSE(parseUrl("/relative/path").parsed);
  EXPECT_FALSE(parseUrl("").parsed);
  EXPECT_FALSE(parseUrl("http://exa mple.com/").parsed);
  EXPECT_FALSE(parseUrl(std::string("http://a.example\0.evil/", 23)).parsed);
}

TEST(UrlParserTest, UrlsWithoutHostParseWithAnEmptyHost) {
  const ParsedUrl file = parseUrl("file:///etc/passwd");
  EXPECT_TRUE(file.parsed);
  EXPECT_EQ("", file.host);
  EXPECT_EQ("h.example", parseUrl("gopher2://h.example/x").host);
}

}  // namespace
}  // namespace host
