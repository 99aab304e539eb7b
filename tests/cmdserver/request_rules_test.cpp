// The pure rules behind the server's defences and reply texts.

#include <gtest/gtest.h>

#include <set>

#include "cmdserver/access_key.h"
#include "cmdserver/reply_text.h"
#include "cmdserver/request_guard.h"

namespace cmdserver {
namespace {

TEST(RequestRulesTest, HostHeader) {
  EXPECT_TRUE(isAllowedHost(nullptr, 8080));
  EXPECT_TRUE(isAllowedHost("127.0.0.1", 8080));
  EXPECT_TRUE(isAllowedHost("LOCALHOST:8080", 8080));
  for (const char* host : {"127.0.0.1:8081", "127.0.0.1:", "localhost:8080:8080",
                           "localhost.", "127.0.0.1.evil.example", ""}) {
    EXPECT_FALSE(isAllowedHost(host, 8080)) << host;
  }
}

TEST(RequestRulesTest, KeyFileNames) {
  EXPECT_EQ(normalizePath("//a/./b/../c/"), "/a/c");
  EXPECT_EQ(normalizePath("/../.."), "/");
  EXPECT_TRUE(namesKeyFile("a//b/../../vq.server.key/"));
  EXPECT_TRUE(namesKeyFile("/vq.server.key/inner"));
  EXPECT_FALSE(namesKeyFile("/vq.server.key.bak"));
  EXPECT_FALSE(namesKeyFile("/vq.server.key/.."));
}

TEST(RequestRulesTest, Escaping) {
  EXPECT_EQ(htmlEscape("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&#39;");
  EXPECT_EQ(hrefEscape("a.b-c_~/d e\"\xff"), "a.b-c_~/d%20e%22%FF");
  EXPECT_EQ(cdataSafe("a]]>b]]>"), "a]]]]><![CDATA[>b]]]]><![CDATA[>");
  EXPECT_TRUE(hasControlCharacter("a\rb"));
  EXPECT_TRUE(hasControlCharacter(std::string("a\0b", 3)));
  EXPECT_FALSE(hasControlCharacter("http://127.0.0.1/x?y=%0D"));
}

TEST(RequestRulesTest, AccessKeysAreFreshAndUseTheWholeAlphabet) {
  std::set<std::string> keys;
  std::set<char> seen;
  for (int i = 0; i < 400; ++i) {
    const std::string key = makeAccessKey();
    ASSERT_EQ(key.size(), kAccessKeyLength);
    ASSERT_EQ(key.find_first_not_of(kAccessKeyAlphabet), std::string::npos);
    keys.insert(key);
    seen.insert(key.begin(), key.end());
  }
  EXPECT_EQ(keys.size(), 400u);
  EXPECT_EQ(seen.size(), 62u);
}

}  // namespace
}  // namespace cmdserver
