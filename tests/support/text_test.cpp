// Paths, query strings, permission strings, hashing and shuffling.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/apr_permissions.h"
#include "support/general_hash_functions.h"
#include "support/http_query_string.h"
#include "support/log_text.h"
#include "support/path.h"
#include "support/vector_utils.h"
#include "testing/error_text.h"

namespace {

using http::QueryString;

TEST(PathTest, JoinsAndTakesApart) {
  const char* const cases[][3] = {  // base, component, joined
      {"/data", "x.xml", "/data/x.xml"}, {"", "x", "x"}, {"/data/", "/x.xml", "/data/x.xml"},
      {"/data", "", "/data"}, {"a//", "b", "a//b"}, {"a", "//b", "a//b"}};
  for (const auto& c : cases) {
    path p(c[0]);
    EXPECT_EQ(c[2], (p << c[1]).str()) << c[0] << "+" << c[1];
  }
  path chained("a");
  chained << std::string("b") << "c";
  EXPECT_EQ("a/b/c.bak", chained.appendToName(".bak").str());
  EXPECT_EQ("/data", path("/data/").parent());
  EXPECT_EQ("", path("/x").parent());
  EXPECT_EQ("", path("/data/").basename());
  EXPECT_EQ("gz", path("a/b.tar.gz").suffix());
  EXPECT_EQ("", path("a.b/c").suffix());
  EXPECT_EQ("/data/", path("/data//").str_without_trailing_slash());
}

TEST(QueryStringTest, ParsesPairsLaterNamesWinMalformedEscapesKept) {
  EXPECT_EQ((QueryString::Map{{"", ""}, {"a", "2"}, {"b", ""}, {"k=", "v=w"}, {"z", "A%zz "}}),
            QueryString("a=1&b&a=2&z=%41%zz+&&k%3D=v=w").parameters());
  EXPECT_TRUE(QueryString(nullptr).empty());
  const std::pair<const char*, std::string> cases[] = {
      {"a+b", "a b"}, {"%4", "%4"}, {"%fF%2f", "\xff/"}, {"a%00b", std::string("a\0b", 3)},
      {"%G1", "%G1"},
      // Exactly two hexadecimal digits: strtol's sign and blanks are not.
      {"%-1", "%-1"}, {"% f", "% f"}, {"%+f", "% f"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(out, QueryString::urlDecode(in)) << in;
}

TEST(QueryStringTest, KeyValuesAreHiddenWhereverTheParameterAppears) {
  const char* const cases[][2] = {
      {"a=1&key=s3cret&b=2", "a=1&key=[hidden]&b=2"},
      {"key=s3cret", "key=[hidden]"},
      {"/~cmd/set/x/y?key=s3cret HTTP/1.1", "/~cmd/set/x/y?key=[hidden] HTTP/1.1"},
      {"body key=s3cret\nnext", "body key=[hidden]\nnext"},
      {"key=a&key=b", "key=[hidden]&key=[hidden]"},
      {"key=", "key=[hidden]"},
      // Other names that end in "key" are not the access key.
      {"monkey=banana&api.key=1&x_key=2", "monkey=banana&api.key=1&x_key=2"},
      {"no secret here", "no secret here"}};
  for (const auto& c : cases) EXPECT_EQ(c[1], QueryString::redactKeyParameter(c[0])) << c[0];
}

TEST(AprPermissionsTest, ParsesAndPrints) {
  EXPECT_EQ(0x750, apr_permstr("rwxr-x---"));
  EXPECT_STREQ("rw-r--r--", apr_strperm(0x7644));  // higher bits not printed
  // Extended grammar: "." keeps the base bit, "d"/"D" only for directories, "<" copies a bit
  // already set in the class before.
  EXPECT_EQ(0x700, apr_permstr("rwD------", 0x755, false));
  EXPECT_EQ(0x700, apr_permstr("rwd------", 0, true));
  EXPECT_EQ(0x640, apr_permstr("r..r.....", 0x600, false));
  EXPECT_EQ(0x444, apr_permstr("r--<<-<<<", 0, false));
  // The printed text is per thread.
  const char* mine = apr_strperm(0x700);
  std::thread([] { EXPECT_STREQ("------rwx", apr_strperm(0x7)); }).join();
  EXPECT_STREQ("rwx------", mine);
}

TEST(AprPermissionsTest, ParseErrorsNameTheProblem) {
  const struct { const char* text; bool extended; const char* error; } cases[] = {
      {"<w-------", true, "permissions string '<w-------' contains a < token in the owner set of "
                          "permissions. Not permitted."},
      {"rwxr-x--", true,
       "permissions string 'rwxr-x--' could not be parsed. String ended unexpectedly."},
      {"rwxr-x---x", false,
       "permission string 'rwxr-x---x' has too many characters. Only 9 permitted."},
      {"rwd------", false,
       "permission string 'rwd------' could no be parsed. Bad character at character 3"},
      {nullptr, false, "permissions string '' could not be parsed. String ended unexpectedly."}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.error, ErrorText([&] {
                c.extended ? apr_permstr(c.text, 0, false) : apr_permstr(c.text);
              }));
  }
}

TEST(LogSafeTest, NoTextStartsALineAndLongTextIsCut) {
  using vq_support::LogSafe;
  EXPECT_EQ("a\\nb\\r\\tc\\x00\\x1b\\x7f\\\\n", LogSafe(std::string("a\nb\r\tc\0\x1b\x7f\\n", 11)));
  EXPECT_EQ("caf\xc3\xa9", LogSafe("caf\xc3\xa9"));
  EXPECT_EQ("abc... (6 bytes)", LogSafe("abcdef", 3));
  EXPECT_EQ("abcdef", LogSafe("abcdef", 6));
  EXPECT_EQ(vq_support::kLogBodyLimit + 17,
            vq_support::LogSafeBody(std::string(10000, 'x')).size());
}

// Download file names are built from this hash: its values must not change.
TEST(PJWHashTest, KnownValues) {
  EXPECT_EQ(0u, PJWHash(std::string()));
  EXPECT_EQ((65u << 4) + 66u, PJWHash(std::string("AB")));
  // 0xFF is -1, so the hash is 0xFFFFFFFF before its top bits are folded.
  EXPECT_EQ(0x0FFFFF0Fu, PJWHash(std::string("\xff", 1)));
  const std::string bytes("a\0b", 3);
  EXPECT_EQ(PJWHash(bytes), PJWHash(bytes.data(), bytes.size()));
}

TEST(ShuffleVectorTest, PermutesOnlyItsRangeWithinTheList) {
  std::vector<std::string> original;
  for (int i = 0; i < 40; ++i) original.push_back(std::to_string(i));
  std::vector<std::string> list = original;
  for (int round = 0; round < 20 && list == original; ++round) shuffleVector(list, 10, 20);
  EXPECT_NE(original, list) << "twenty shuffles never moved an element";
  EXPECT_TRUE(std::equal(list.begin(), list.begin() + 10, original.begin()));
  EXPECT_TRUE(std::equal(list.begin() + 30, list.end(), original.begin() + 30));
  EXPECT_TRUE(std::is_permutation(list.begin(), list.end(), original.begin()));
  list = original;
  for (const auto& [first, count] : std::vector<std::pair<int, int>>{{39, 0}, {41, 3}, {-1, 3},
                                                                      {2, -4}})
    shuffleVector(list, first, count);
  EXPECT_EQ(original, list);
  // A count running past the end is cut to the list (never out of bounds).
  shuffleVector(list, 35, 100);
  EXPECT_TRUE(std::equal(list.begin(), list.begin() + 35, original.begin()));
  EXPECT_TRUE(std::is_permutation(list.begin(), list.end(), original.begin()));
}

}  // namespace
