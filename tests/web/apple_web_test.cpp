#include "web/apple_web.h"

#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <log4cpp/StringQueueAppender.hh>

#include <memory>
#include <string>
#include <vector>

#include "support/apr_pool.h"
#include "support/vq_exception.h"
#include "testing/http/test_http_server.h"

namespace {

using vq_testing::CannedResponse;
using vq_testing::TestHttpServer;

// Records the completion hook calls.
class RecordingWeb : public AppleWeb {
 public:
  using AppleWeb::AppleWeb;
  void get_completed(bool success) override { completions.push_back(success); }
  std::vector<bool> completions;
};

class FixedReachability : public host::Reachability {
 public:
  explicit FixedReachability(host::HostReachability answer) : answer_(answer) {}
  host::HostReachability check(const std::string& host) override {
    checked.push_back(host);
    return answer_;
  }
  std::vector<std::string> checked;

 private:
  host::HostReachability answer_;
};

// A transport whose wait always gives up.
class GivingUpTransport : public host::HttpTransport {
 public:
  host::HttpResult fetch(const host::HttpRequest&,
                         host::HttpResponseSink&) override {
    host::HttpResult result;
    result.completed = false;
    return result;
  }
};

VqException GetFailure(Web& web) {
  try {
    web.get();
  } catch (const VqException& e) {
    return e;
  }
  ADD_FAILURE() << "get() did not raise";
  return VqException("none");
}

class AppleWebTest : public ::testing::Test {
 protected:
  apr::Pool pool_;
  TestHttpServer server_;
};

TEST_F(AppleWebTest, WithoutParametersTheRequestIsAGet) {
  server_.ExpectOnce("GET", "/vq.php", CannedResponse{200, {}, "<vq/>"});
  RecordingWeb web(pool_);
  web.setUrl(server_.url("/vq.php").c_str());
  EXPECT_TRUE(web.get());
  EXPECT_EQ("<vq/>", web.resultString());
  EXPECT_EQ(std::vector<bool>{true}, web.completions);
  EXPECT_EQ("", server_.requests().at(0).body);
}

TEST_F(AppleWebTest, WithParametersTheExactEncodedBytesArePosted) {
  server_.ExpectOnce("POST", "/vq.php", CannedResponse{200, {}, "ok"});
  RecordingWeb web(pool_);
  web.setUrl(server_.url("/vq.php").c_str());
  web.addParameter("feedId", "12");
  log4cpp::Category& category = log4cpp::Category::getInstance("AppleWebT");
  category.setPriority(log4cpp::Priority::DEBUG);
  web.debugParams(category);  // leaves a NUL at the end of the parameters
  // Over 1 KiB, where a transport might hold the body back for a
  // "100 Continue".
  const std::string long_value(2000, 'v');
  web.addParameter("os", "Linux 6.1/x86");
  web.addParameter("p1", long_value.c_str());
  web.debugParams(category);
  EXPECT_TRUE(web.get());
  auto request = server_.requests().at(0);
  EXPECT_EQ("feedId=12&os=Linux+6%2e1%2fx86&p1=" + long_value, request.body);
  EXPECT_EQ(0u, request.headers.count("expect"));
  EXPECT_EQ(0u, request.headers.count("cache-control"));
}

TEST_F(AppleWebTest, HeaderNamesAreStoredInLowerCase) {
  server_.ExpectOnce("GET", "/",
                     CannedResponse{200, {{"XXX-Vq-Sig", "c2ln"}}, "body"});
  AppleWeb web(pool_);
  web.setUrl(server_.url("/").c_str());
  ASSERT_TRUE(web.get());
  EXPECT_STREQ("c2ln", web.getHeader("xxx-vq-sig"));
  EXPECT_EQ(nullptr, web.getHeader("XXX-Vq-Sig"));
  EXPECT_STREQ("4", web.getHeader("content-length"));
}

TEST_F(AppleWebTest, OverlongOrNonAsciiHeadersAreSkipped) {
  server_.ExpectOnce("GET", "/",
                     CannedResponse{200,
                                    {{"X-Long", std::string(3000, 'a')},
                                     {"X-Latin", "caf\xe9"},
                                     {"X-Fine", "yes"}},
                                    ""});
  AppleWeb web(pool_);
  web.setUrl(server_.url("/").c_str());
  ASSERT_TRUE(web.get());
  EXPECT_EQ(nullptr, web.getHeader("x-long"));
  EXPECT_EQ(nullptr, web.getHeader("x-latin"));
  EXPECT_STREQ("yes", web.getHeader("x-fine"));
}

TEST_F(AppleWebTest, ErrorStatusPageIsASuccessfulBodyAndEachGetStartsEmpty) {
  server_.ExpectOnce("GET", "/a", CannedResponse{200, {}, "first"});
  server_.ExpectOnce("GET", "/a", CannedResponse{404, {}, "gone"});
  RecordingWeb web(pool_);
  web.setUrl(server_.url("/a").c_str());
  ASSERT_TRUE(web.get());
  ASSERT_TRUE(web.get());
  EXPECT_EQ("gone", web.resultString());
  EXPECT_EQ((std::vector<bool>{true, true}), web.completions);
}

TEST_F(AppleWebTest, RefusedConnectionIsCode155AfterGetCompletedFalse) {
  RecordingWeb web(pool_);
  std::string url;
  {
    TestHttpServer gone;  // nothing listens on its port any more
    url = gone.url("/vq.php");
  }
  web.setUrl(url.c_str());
  const VqException e = GetFailure(web);
  EXPECT_EQ(155, e.getErrorCode());
  EXPECT_EQ(0, e.getErrorZone());
  EXPECT_EQ(0, e.getErrorSeverity());
  EXPECT_EQ(url, e.url());
  EXPECT_EQ(0u, e.getErrorDescription().find("Error on web request to " + url +
                                              ": "));
  EXPECT_EQ(std::vector<bool>{false}, web.completions);
}

TEST_F(AppleWebTest, UnresolvableHostIsCode215WithoutAnyRequest) {
  RecordingWeb web(pool_);
  web.setUrl("http://updates.example.invalid/vq.php");
  web.addParameter("a", "1");
  const VqException e = GetFailure(web);
  EXPECT_EQ(215, e.getErrorCode());
  EXPECT_EQ(0, e.getErrorSeverity());
  EXPECT_EQ("http://updates.example.invalid/vq.php", e.url());
  EXPECT_EQ(0u, e.getErrorDescription().find(
                    "Unable to reach url (http://updates.example.invalid/vq.php)"));
  EXPECT_TRUE(web.completions.empty());
  EXPECT_EQ(0u, server_.request_count());
}

TEST_F(AppleWebTest, BadUrlsAreCode210BeforeAnyCheck) {
  auto reachability = std::make_shared<FixedReachability>(
      host::HostReachability::kReachable);
  struct Case {
    const char* url;
    const char* message_start;
  } cases[] = {
      {"vq.php", "Unable to parse requested url (vq.php) as a NSURL ("},
      {"", "Unable to parse requested url () as a NSURL ("},
      {"file:///etc/passwd", "Unable host in url (file:///etc/passwd) ("},
  };
  for (const Case& c : cases) {
    RecordingWeb web(pool_, WebHost{host::createHttpTransport(), reachability});
    web.setUrl(c.url);
    const VqException e = GetFailure(web);
    EXPECT_EQ(210, e.getErrorCode()) << c.url;
    EXPECT_EQ(1, e.getErrorSeverity());
    EXPECT_EQ(0u, e.getErrorDescription().find(c.message_start))
        << e.getErrorDescription();
    EXPECT_TRUE(web.completions.empty());
  }
  EXPECT_TRUE(reachability->checked.empty());
}

TEST_F(AppleWebTest, HostThatCannotBeCheckedIsCode210) {
  auto reachability = std::make_shared<FixedReachability>(
      host::HostReachability::kCannotCheck);
  RecordingWeb web(pool_, WebHost{host::createHttpTransport(), reachability});
  web.setUrl(server_.url("/").c_str());
  const VqException e = GetFailure(web);
  EXPECT_EQ(210, e.getErrorCode());
  EXPECT_EQ(0u, e.getErrorDescription().find(
                    "Creation of SCNetworkReachabilityRef failed for host "
                    "(127.0.0.1) ("));
  EXPECT_EQ(0u, server_.request_count());
}

TEST_F(AppleWebTest, FailedReachabilityCheckWarnsAndGoesOn) {
  server_.ExpectOnce("GET", "/", CannedResponse{200, {}, "went on"});
  auto* appender = new log4cpp::StringQueueAppender("capture");
  log4cpp::Category::getInstance("Web.apple").addAppender(appender);
  RecordingWeb web(pool_, WebHost{host::createHttpTransport(),
                                  std::make_shared<FixedReachability>(
                                      host::HostReachability::kUnknown)});
  web.setUrl(server_.url("/").c_str());
  EXPECT_TRUE(web.get());
  EXPECT_EQ("went on", web.resultString());
  bool warned = false;
  for (auto& queue = appender->getQueue(); !queue.empty(); queue.pop()) {
    if (queue.front().find("SCNetworkReachabilityGetFlags failed for url") !=
        std::string::npos) {
      warned = true;
    }
  }
  EXPECT_TRUE(warned);
  log4cpp::Category::getInstance("Web.apple").removeAllAppenders();
}

TEST_F(AppleWebTest, TimeoutsAreCountedForTheProcess) {
  const WebHost giving_up{std::make_shared<GivingUpTransport>(),
                          std::make_shared<FixedReachability>(
                              host::HostReachability::kReachable)};
  const std::uint32_t before = AppleWeb::requestTimeoutCount();
  for (std::uint32_t round = 1; round <= 2; ++round) {
    RecordingWeb web(pool_, giving_up);
    web.setUrl("http://127.0.0.1/vq.php");
    const VqException e = GetFailure(web);
    EXPECT_EQ(205, e.getErrorCode());
    EXPECT_EQ(1, e.getErrorSeverity());
    EXPECT_EQ(0u, e.getErrorDescription().find(
                      "Timeout occurred on asynchronous web request. Total "
                      "timeouts occurred: " +
                      std::to_string(before + round) + " ("));
    EXPECT_EQ(std::vector<bool>{false}, web.completions);
  }
  EXPECT_EQ(before + 2, AppleWeb::requestTimeoutCount());
}

}  // namespace
