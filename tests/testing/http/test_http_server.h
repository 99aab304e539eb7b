#ifndef VQ_TESTING_HTTP_TEST_HTTP_SERVER_H_
#define VQ_TESTING_HTTP_TEST_HTTP_SERVER_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct mg_connection;
struct mg_context;

namespace vq_testing {

// One request as the server saw it.
struct RecordedRequest {
  std::string method;
  std::string path;  // URL-decoded, without the query
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
};

struct CannedResponse {
  int status = 200;
  // Sent as written (names keep their case), before Content-Length.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Waits this long before answering, or until the server stops, whichever
  // comes first: a stalled server for timeout tests.
  std::chrono::milliseconds stall{0};

  // A misbehaving server's body, streamed and never held whole: `body`,
  // then `repeat` written `repeat_count` times, then `tail`. Writing stops
  // when the client goes away.
  std::string repeat{};
  std::size_t repeat_count = 0;
  std::string tail{};
  // False: no Content-Length; the body ends when the connection closes.
  bool send_length = true;
  // Nonzero: the body goes out one byte per `drip` (until the server
  // stops), a server that holds its client.
  std::chrono::milliseconds drip{0};

  // The bytes the body has in all.
  std::size_t BodySize() const {
    return body.size() + repeat.size() * repeat_count + tail.size();
  }
};

// An HTTP server on 127.0.0.1 with a free port, run by civetweb in the test
// process. It records every request and answers from configured responses:
// expectations set with ExpectOnce are served once each, in the order set;
// responses set with Always are served for every request to their path. A
// request that matches neither fails the running test and gets a 500
// (unless a document root was given: then civetweb serves the file). The
// destructor fails the test for every ExpectOnce never served.
class TestHttpServer {
 public:
  TestHttpServer();
  // Serves files under `document_root` for requests no response claims.
  explicit TestHttpServer(const std::string& document_root);
  ~TestHttpServer();

  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  // "http://127.0.0.1:<port>" + path.
  std::string url(const std::string& path) const;

  // `method` empty matches any method.
  void ExpectOnce(const std::string& method, const std::string& path,
                  CannedResponse response);
  void Always(const std::string& method, const std::string& path,
              CannedResponse response);

  std::vector<RecordedRequest> requests() const;
  std::size_t request_count() const;

 private:
  struct Expectation {
    std::string method;
    std::string path;
    CannedResponse response;
  };

  static int OnBeginRequest(mg_connection* connection);
  int Handle(mg_connection* connection);
  bool FindResponse(const RecordedRequest& request, CannedResponse* response);
  // Writes the body of `response`; false when the client went away or the
  // server is stopping.
  bool WriteBody(mg_connection* connection, const CannedResponse& response);
  bool Drip(mg_connection* connection, const std::string& bytes,
            std::chrono::milliseconds interval);
  void StopContext();

  mg_context* context_ = nullptr;
  int port_ = 0;
  bool serves_files_ = false;

  mutable std::mutex mutex_;
  std::condition_variable stopping_changed_;
  bool stopping_ = false;
  std::deque<Expectation> once_;
  std::vector<Expectation> always_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace vq_testing

#endif  // VQ_TESTING_HTTP_TEST_HTTP_SERVER_H_
