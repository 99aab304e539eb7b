// Requests and downloads over real HTTP against the loopback test server.
#include <apr_general.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/apr_pool.h"
#include "support/general_hash_functions.h"
#include "support/vq_exception.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/scoped_temp_dir.h"
#include "web/apple_web.h"
#include "web/apple_web_download.h"

namespace {

using vq_testing::CannedResponse;
using vq_testing::TestHttpServer;
using Reach = host::HostReachability;
namespace fs = std::filesystem;

class RecordingWeb : public AppleWeb {
 public:
  using AppleWeb::AppleWeb;
  void get_completed(bool success) override { completions.push_back(success); }
  std::vector<bool> completions;
};

struct FixedReachability : host::Reachability {
  explicit FixedReachability(Reach answer) : answer(answer) {}
  Reach check(const std::string&) override { return answer; }
  Reach answer;
};

// A transport whose wait always gives up.
struct GivingUpTransport : host::HttpTransport {
  host::HttpResult fetch(const host::HttpRequest&, host::HttpResponseSink&) override {
    return {false, "", 0};
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

// A URL on a port nothing listens on any more.
std::string RefusedUrl() { return TestHttpServer().url("/vq.php"); }

WebHost HostAnswering(Reach answer, std::shared_ptr<host::HttpTransport> transport =
                                         host::createHttpTransport()) {
  return WebHost{transport, std::make_shared<FixedReachability>(answer)};
}

class WebTest : public ::testing::Test {
 protected:
  apr::Pool pool_;
  TestHttpServer server_;
};

TEST_F(WebTest, GetKeepsAnyBodyAndLowerCasedHeadersButOverlongOrNonAscii) {
  server_.ExpectOnce("GET", "/vq.php", CannedResponse{200, {{"XXX-Vq-Sig", "c2ln"},
      {"X-Long", std::string(3000, 'a')}, {"X-Latin", "caf\xe9"}}, "first"});
  server_.ExpectOnce("GET", "/vq.php", CannedResponse{404, {}, "gone"});
  // A reachability check that fails is no reason to stop.
  RecordingWeb web(pool_, HostAnswering(Reach::kUnknown));
  web.setUrl(server_.url("/vq.php").c_str());
  ASSERT_TRUE(web.get());
  EXPECT_EQ("first", web.resultString());
  EXPECT_STREQ("c2ln", web.getHeader("xxx-vq-sig"));
  for (const char* absent : {"XXX-Vq-Sig", "x-long", "x-latin"})
    EXPECT_EQ(nullptr, web.getHeader(absent)) << absent;
  ASSERT_TRUE(web.get());
  EXPECT_EQ("gone", web.resultString());  // each get() starts empty
  EXPECT_EQ((std::vector<bool>{true, true}), web.completions);
  EXPECT_EQ("", server_.requests().at(0).body);
}

TEST_F(WebTest, WithParametersTheExactEncodedBytesArePosted) {
  server_.ExpectOnce("POST", "/vq.php", CannedResponse{200, {}, "ok"});
  RecordingWeb web(pool_);
  web.setUrl(server_.url("/vq.php").c_str());
  web.addParameter("feedId", "12");
  log4cpp::Category& category = log4cpp::Category::getInstance("WebTest");
  category.setPriority(log4cpp::Priority::DEBUG);
  web.debugParams(category);  // leaves a NUL at the end of the parameters
  web.addParameter("a b", "AZaz09-_.~@/");
  web.addParameter("h", "\xe9\x01");
  const char range[] = {'a', '\0', 'b'};
  web.addParameter("r", range, range + 3);
  web.addParameter(nullptr, "x");
  web.addParameter("x", static_cast<const char*>(nullptr));
  // Cut, not overrun; over 1 KiB, where a transport might wait for a "100 Continue".
  web.addParameterf("f", "%s", std::string(20000, 'q').c_str());
  web.debugParams(category);
  EXPECT_TRUE(web.get());
  EXPECT_EQ("feedId=12&a+b=AZaz09%2d%5f%2e%7e%40%2f&h=%e9%01&r=a%00b&f=" + std::string(8191, 'q'),
            server_.requests().at(0).body);
  EXPECT_EQ(0u, server_.requests().at(0).headers.count("expect"));
}

TEST_F(WebTest, FailuresCarryTheirCodeMessageAndUrl) {
  const std::string refused = RefusedUrl(), unknown = "http://updates.invalid/a";
  const std::string timeouts = std::to_string(AppleWeb::requestTimeoutCount() + 1);
  const struct {
    std::string url;
    WebHost host;
    int code, severity;
    std::string message_start;
    std::vector<bool> completions;
  } cases[] = {
      {refused, WebHost::platform(), 155, 0, "Error on web request to " + refused + ": ", {false}},
      {unknown, WebHost::platform(), 215, 0, "Unable to reach url (" + unknown + ")", {}},
      {"vq.php", HostAnswering(Reach::kReachable), 210, 1,
       "Unable to parse requested url (vq.php) as a NSURL (", {}},
      {"file:///etc/passwd", HostAnswering(Reach::kReachable), 210, 1,
       "Unable host in url (file:///etc/passwd) (", {}},
      {server_.url("/"), HostAnswering(Reach::kCannotCheck), 210, 1,
       "Creation of SCNetworkReachabilityRef failed for host (127.0.0.1) (", {}},
      {server_.url("/"), HostAnswering(Reach::kReachable, std::make_shared<GivingUpTransport>()),
       205, 1, "Timeout occurred on asynchronous web request. Total timeouts occurred: " +
                   timeouts + " (", {false}},
  };
  for (const auto& c : cases) {
    RecordingWeb web(pool_, c.host);
    web.setUrl(c.url.c_str());
    web.addParameter("a", "1");
    const VqException e = GetFailure(web);
    EXPECT_EQ(c.code, e.getErrorCode()) << c.url;
    EXPECT_EQ(c.severity, e.getErrorSeverity()) << c.url;
    EXPECT_EQ(c.url, e.url());
    EXPECT_EQ(0u, e.getErrorDescription().find(c.message_start)) << e.getErrorDescription();
    EXPECT_EQ(c.completions, web.completions) << c.url;
  }
  EXPECT_EQ(0u, server_.request_count());
}

std::size_t FileCount() {
  const fs::directory_iterator files(".");
  return std::distance(fs::begin(files), fs::end(files));
}

// Downloads land in the current directory: each test runs in its own.
class DownloadTest : public WebTest {
 protected:
  void SetUp() override { fs::current_path(dir_.path()); }
  void TearDown() override { fs::current_path(previous_); }

  const fs::path previous_ = fs::current_path();
  vq_testing::ScopedTempDir dir_;
};

TEST_F(DownloadTest, BodiesAreStreamedIntoDistinctlyNamedFiles) {
  std::string body(5 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 31) ^ (i >> 9));
  server_.Always("GET", "/app.zip", CannedResponse{200, {}, body});
  server_.ExpectOnce("GET", "/empty", CannedResponse{200, {}, ""});
  const std::string url = server_.url("/app.zip");
  AppleWebDownload first(pool_), second(pool_), empty(pool_);
  first.setUrl(url.c_str());
  second.setUrl(url.c_str());
  empty.setUrl(server_.url("/empty").c_str());
  ASSERT_TRUE(first.get());
  ASSERT_TRUE(second.get());
  ASSERT_TRUE(empty.get());
  const std::string a = first.DownloadFilename(), b = second.DownloadFilename();
  EXPECT_TRUE(vq_testing::ReadFile(a) == body);
  EXPECT_EQ(0u, first.getBody().size()) << "body collected in memory";
  EXPECT_EQ("04100beb3ba3140abf88540dba72ea20", first.DownloadMd5());
  EXPECT_EQ("", vq_testing::ReadFile(empty.DownloadFilename()));
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", empty.DownloadMd5());

  const std::string prefix = "tmp_" + std::to_string(std::int32_t(PJWHash(url))) + "_0_";
  EXPECT_EQ(prefix.size() + 6, a.size());
  EXPECT_EQ(0u, a.find(prefix));
  EXPECT_NE(a, b);
  EXPECT_EQ(3u, FileCount());
}

TEST_F(DownloadTest, FailedTransferLeavesNoFile) {
  const std::pair<std::string, int> cases[] = {{RefusedUrl(), 155}, {"http://a.invalid/", 215}};
  for (const auto& [url, code] : cases) {
    AppleWebDownload download(pool_);
    download.setUrl(url.c_str());
    EXPECT_EQ(code, GetFailure(download).getErrorCode());
    EXPECT_EQ(0u, FileCount()) << url;
  }
}

TEST_F(DownloadTest, WriteFailureIsCode175AndLeavesNoFile) {
  server_.ExpectOnce("GET", "/big", CannedResponse{200, {}, std::string(1 << 20, 'b')});
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/big").c_str());
  // A file size limit makes writes past 64 KiB fail (EFBIG) instead of killing the process.
  rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  const rlimit limited = {64 * 1024, saved.rlim_max};
  const auto previous_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const VqException e = GetFailure(download);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(175, e.getErrorCode());
  EXPECT_EQ(0u, e.getErrorDescription().find("Failed writing temporary file tmp_"));
  EXPECT_EQ(0u, FileCount());
}

TEST_F(DownloadTest, FileThatCannotBeCreatedIsCode140) {
  // A current directory that no longer exists cannot take new files.
  fs::remove(dir_.path());
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/never").c_str());
  const VqException e = GetFailure(download);
  EXPECT_EQ(140, e.getErrorCode());
  EXPECT_NE(std::string::npos, e.getErrorDescription().find("Failed creation of temporary file ("));
  EXPECT_EQ(0u, server_.request_count());
}

}  // namespace
