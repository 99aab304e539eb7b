#include "support/path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PathTest, JoinAddsOrRemovesAtMostOneSeparator) {
  const struct {
    const char* base;
    const char* component;
    const char* joined;
  } cases[] = {{"/data", "x.xml", "/data/x.xml"},
               {"/data/", "/x.xml", "/data/x.xml"},
               {"/data", "/x.xml", "/data/x.xml"},
               {"", "x", "x"},
               {"/data", "", "/data"},
               {"a//", "b", "a//b"},
               {"a", "//b", "a//b"}};
  for (const auto& c : cases) {
    path p(c.base);
    EXPECT_EQ(c.joined, (p << c.component).str())
        << c.base << " + " << c.component;
  }
  path chained("a");
  chained << std::string("b") << "c";
  EXPECT_EQ("a/b/c.bak", chained.appendToName(".bak").str());
  EXPECT_EQ("ab", path(std::string("ab\0cd", 5)).str());
}

TEST(PathTest, TakesPathsApart) {
  EXPECT_EQ("/data", path("/data/x.xml").parent());
  EXPECT_EQ("", path("/x").parent());
  EXPECT_EQ("", path("x").parent());
  EXPECT_EQ("/data", path("/data/").parent());
  EXPECT_EQ("x.xml", path("/data/x.xml").basename());
  EXPECT_EQ("", path("/data/").basename());
  EXPECT_EQ("x", path("x").basename());
  EXPECT_EQ("gz", path("a/b.tar.gz").suffix());
  EXPECT_EQ("", path("a.b/c").suffix());
  EXPECT_EQ("profile", path("a/.profile").suffix());
  EXPECT_EQ("/data", path("/data/").str_without_trailing_slash());
  EXPECT_EQ("/data/", path("/data//").str_without_trailing_slash());
  EXPECT_EQ("", path("").str_without_trailing_slash());
}

}  // namespace
