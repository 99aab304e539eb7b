#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <tinyxml.h>

#include <cstring>
#include <string>

#include "support/apr_pool.h"
#include "web/web.h"
#include "web/web_parameter_buffer.h"

namespace {

// A Web without transport, to test the request object alone.
class OfflineWeb : public Web {
 public:
  explicit OfflineWeb(apr_pool_t* pool) : Web(pool) {}
  bool get() override { return false; }
  void deliver(const std::string& data) { receiveBody(data.data(), data.size()); }
  std::string params() const { return getParams().str(); }
};

class WebRequestTest : public ::testing::Test {
 protected:
  apr::Pool pool_;
  OfflineWeb web_{pool_};
};

TEST_F(WebRequestTest, PairsAreEncodedAndJoined) {
  web_.addParameter("a b", "x/y");
  web_.addParameter("c", "1");
  EXPECT_EQ("a+b=x%2fy&c=1", web_.params());
}

TEST_F(WebRequestTest, OnlyAsciiLettersAndDigitsStayUnescaped) {
  web_.addParameter("v", "AZaz09");
  web_.addParameter("p", "a-b_c.d~@");
  web_.addParameter("h", "\xe9\x80\xff\x01");
  EXPECT_EQ("v=AZaz09&p=a%2db%5fc%2ed%7e%40&h=%e9%80%ff%01", web_.params());
}

TEST_F(WebRequestTest, NullNamesAndValuesChangeNothing) {
  web_.addParameter(nullptr, "x");
  web_.addParameter("x", static_cast<const char*>(nullptr));
  web_.addParameter(nullptr, "a", "a" + 1);
  web_.addParameterf(nullptr, "%d", 1);
  web_.addParameter("doc", static_cast<const TiXmlDocument*>(nullptr));
  EXPECT_EQ("", web_.params());
  EXPECT_EQ(0u, web_.getParams().hash());
}

TEST_F(WebRequestTest, RangeValuesCarryNulBytes) {
  const char value[] = {'a', '\0', 'b'};
  web_.addParameter("r", value, value + 3);
  web_.addParameter("e", value, value);
  EXPECT_EQ("r=a%00b&e=", web_.params());
}

TEST_F(WebRequestTest, NulsAddedForLoggingNeverEndUpInsideTheText) {
  web_.addParameter("a", "1");
  log4cpp::Category& category = log4cpp::Category::getInstance("WebTest.log");
  category.setPriority(log4cpp::Priority::DEBUG);
  web_.debugParams(category);
  EXPECT_EQ('\0', web_.params().back());
  web_.addParameter("b", "2");
  const std::string text = web_.params();
  EXPECT_EQ("a=1&b=2", text);
  EXPECT_EQ(std::string::npos, text.find('\0'));
}

TEST_F(WebRequestTest, FormattedValuesAreCutInsteadOfOverrunning) {
  const std::string huge(20000, 'q');
  web_.addParameterf("f", "%s", huge.c_str());
  EXPECT_EQ("f=" + std::string(8191, 'q'), web_.params());
}

TEST_F(WebRequestTest, DocumentsAreSentAsTheirXmlText) {
  TiXmlDocument document;
  document.Parse("<vq><a x=\"1\"/></vq>");
  web_.addParameter("vq", &document);
  std::string text = web_.params();
  EXPECT_EQ(0u, text.find("vq=%3cvq%3e"));
  EXPECT_NE(std::string::npos, text.find("x%3d%221%22"));
}

TEST_F(WebRequestTest, HashIsTheWeinbergerHashOfTheText) {
  EXPECT_EQ(0u, web_.getParams().hash());
  web_.addParameter("A", "");
  // "A=": ((65 << 4) + 61) = 1101.
  EXPECT_EQ(1101u, web_.getParams().hash());
}

TEST_F(WebRequestTest, HeadersAreLookedUpByExactName) {
  web_.setHeader("x-foo", "1");
  web_.setHeader("x-foo", "2");
  EXPECT_STREQ("2", web_.getHeader("x-foo"));
  EXPECT_EQ(nullptr, web_.getHeader("X-Foo"));
  EXPECT_EQ(nullptr, web_.getHeader(nullptr));
}

TEST_F(WebRequestTest, BodyReadsAsTextWithTheNulKept) {
  EXPECT_EQ("", web_.resultString());
  web_.deliver("ab");
  web_.deliver(std::string("c\0d", 3));
  EXPECT_EQ(std::string("abc\0d", 5), web_.resultString());
  EXPECT_STREQ("abc", web_.c_str());
  const std::string& text = web_.resultString();
  ASSERT_EQ(6u, text.size());
  EXPECT_EQ('\0', text.back());
}

}  // namespace
