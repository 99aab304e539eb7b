#include "host/http_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "testing/http/test_http_server.h"

namespace host {
namespace {

using vq_testing::CannedResponse;
using vq_testing::TestHttpServer;

class CollectingSink : public HttpResponseSink {
 public:
  bool onBodyData(const char* data, std::size_t size) override {
    ++pieces;
    body.append(data, size);
    return accept_after < 0 || static_cast<long>(body.size()) <= accept_after;
  }
  void onHeader(const std::string& name, const std::string& value) override {
    headers[name] = value;
  }

  std::string body;
  std::map<std::string, std::string> headers;
  int pieces = 0;
  long accept_after = -1;  // refuse the body once it is longer than this
};

HttpResult Fetch(const std::string& url, CollectingSink& sink,
                 const std::string& body = "", long idle_timeout = 30) {
  HttpRequest request;
  request.url = url;
  request.body = body.data();
  request.body_size = body.size();
  request.idle_timeout_seconds = idle_timeout;
  return createHttpTransport()->fetch(request, sink);
}

TEST(CurlHttpTransportTest, PostSendsExactlyTheBodyBytes) {
  TestHttpServer server;
  server.ExpectOnce("POST", "/vq.php", CannedResponse{200, {}, "ok"});
  // Binary bytes, an embedded NUL and more than the 1 KiB at which libcurl
  // would wait for "100 Continue".
  std::string body("a=1&b=%00\0\xff", 12);
  body.append(3000, 'x');
  CollectingSink sink;
  const HttpResult result = Fetch(server.url("/vq.php"), sink, body);
  EXPECT_EQ("", result.error);
  EXPECT_EQ(200, result.status);
  EXPECT_EQ("ok", sink.body);
  ASSERT_EQ(1u, server.request_count());
  auto request = server.requests()[0];
  EXPECT_EQ(body, request.body);
  EXPECT_EQ(std::to_string(body.size()), request.headers["content-length"]);
  EXPECT_EQ(0u, request.headers.count("expect"));
}

TEST(CurlHttpTransportTest, RedirectsAreFollowedAndOnlyTheLastHeadersKept) {
  TestHttpServer server;
  server.ExpectOnce(
      "GET", "/old",
      CannedResponse{302, {{"Location", "/new"}, {"X-Old", "1"}}, "moved"});
  server.ExpectOnce("GET", "/new", CannedResponse{200, {{"X-New", "2"}}, "here"});
  CollectingSink sink;
  EXPECT_EQ("", Fetch(server.url("/old"), sink).error);
  EXPECT_EQ("here", sink.body);
  EXPECT_EQ(1u, sink.headers.count("X-New"));
  EXPECT_EQ(0u, sink.headers.count("X-Old"));
}

TEST(CurlHttpTransportTest, RedirectToALocalSchemeIsRefused) {
  TestHttpServer server;
  server.ExpectOnce("GET", "/evil",
                    CannedResponse{302, {{"Location", "file:///etc/passwd"}}, ""});
  CollectingSink sink;
  EXPECT_NE("", Fetch(server.url("/evil"), sink).error);
  EXPECT_EQ("", sink.body);
  EXPECT_NE("", Fetch("file:///etc/passwd", sink).error);
  EXPECT_EQ("", sink.body);
}

TEST(CurlHttpTransportTest, LargeBodyArrivesInPieces) {
  TestHttpServer server;
  std::string big(3 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  server.ExpectOnce("GET", "/big", CannedResponse{200, {}, big});
  CollectingSink sink;
  EXPECT_EQ("", Fetch(server.url("/big"), sink).error);
  EXPECT_TRUE(sink.body == big);
  EXPECT_GT(sink.pieces, 1);
}

TEST(CurlHttpTransportTest, SinkRefusingDataAbortsWithAnError) {
  TestHttpServer server;
  server.ExpectOnce("GET", "/big",
                    CannedResponse{200, {}, std::string(1 << 20, 'z')});
  CollectingSink sink;
  sink.accept_after = 0;
  const HttpResult result = Fetch(server.url("/big"), sink);
  EXPECT_TRUE(result.completed);
  EXPECT_NE("", result.error);
  EXPECT_LT(sink.body.size(), 1u << 20);
}

TEST(CurlHttpTransportTest, IdleServerTimesOutAfterTheIdleLimit) {
  TestHttpServer server;
  CannedResponse stalled{200, {}, "late"};
  stalled.stall = std::chrono::seconds(20);
  server.ExpectOnce("GET", "/slow", stalled);
  CollectingSink sink;
  const auto start = std::chrono::steady_clock::now();
  const HttpResult result = Fetch(server.url("/slow"), sink, "", 1);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(result.completed);
  EXPECT_NE("", result.error);
  EXPECT_LT(elapsed, std::chrono::seconds(15));
}

}  // namespace
}  // namespace host
