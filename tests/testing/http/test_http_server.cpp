#include "testing/http/test_http_server.h"

#include <civetweb.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <thread>
#include <mutex>
#include <stdexcept>

namespace vq_testing {

TestHttpServer::TestHttpServer() : TestHttpServer(std::string()) {}

TestHttpServer::TestHttpServer(const std::string& document_root) {
  static std::once_flag once;
  std::call_once(once, [] { mg_init_library(0); });
  serves_files_ = !document_root.empty();

  std::vector<const char*> options = {"listening_ports", "127.0.0.1:0",
                                      "num_threads", "8"};
  if (serves_files_)
    options.insert(options.end(), {"document_root", document_root.c_str()});
  options.push_back(nullptr);

  mg_callbacks callbacks = {};
  callbacks.begin_request = &TestHttpServer::OnBeginRequest;
  // civetweb starts threads that may call back at once; everything they
  // touch is initialised above.
  context_ = mg_start(&callbacks, this, options.data());
  if (context_ == nullptr) {
    throw std::runtime_error("the test HTTP server did not start");
  }
  mg_server_port ports[4] = {};
  if (mg_get_server_ports(context_, 4, ports) < 1 || ports[0].port <= 0) {
    mg_stop(context_);
    throw std::runtime_error("the test HTTP server has no port");
  }
  port_ = ports[0].port;
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopping_changed_.notify_all();
  StopContext();
  for (const Expectation& missing : once_) {
    ADD_FAILURE() << "expected request never came: " << missing.method << " "
                  << missing.path;
  }
}

// civetweb's accepting thread notices the stop request only when its poll
// for connections ends, which takes up to two seconds when nothing
// connects. Connecting to it while it stops makes tests end promptly.
void TestHttpServer::StopContext() {
  std::atomic<bool> stopped{false};
  std::thread stopper([this, &stopped] {
    mg_stop(context_);
    stopped = true;
  });
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!stopped && std::chrono::steady_clock::now() < deadline) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0) {
      sockaddr_in address = {};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<std::uint16_t>(port_));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
      close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stopper.join();
}

std::string TestHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::ExpectOnce(const std::string& method,
                                const std::string& path,
                                CannedResponse response) {
  std::lock_guard<std::mutex> lock(mutex_);
  once_.push_back(Expectation{method, path, std::move(response)});
}

void TestHttpServer::Always(const std::string& method, const std::string& path,
                            CannedResponse response) {
  std::lock_guard<std::mutex> lock(mutex_);
  always_.push_back(Expectation{method, path, std::move(response)});
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t TestHttpServer::request_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

int TestHttpServer::OnBeginRequest(mg_connection* connection) {
  auto* server =
      static_cast<TestHttpServer*>(mg_get_user_data(mg_get_context(connection)));
  return server->Handle(connection);
}

bool TestHttpServer::FindResponse(const RecordedRequest& request,
                                  CannedResponse* response) {
  auto matches = [&request](const Expectation& e) {
    return e.path == request.path &&
           (e.method.empty() || e.method == request.method);
  };
  const auto once = std::find_if(once_.begin(), once_.end(), matches);
  if (once != once_.end()) {
    *response = once->response;
    once_.erase(once);
    return true;
  }
  const auto always = std::find_if(always_.begin(), always_.end(), matches);
  if (always != always_.end()) *response = always->response;
  return always != always_.end();
}

int TestHttpServer::Handle(mg_connection* connection) {
  const mg_request_info* info = mg_get_request_info(connection);
  RecordedRequest request;
  request.method = info->request_method ? info->request_method : "";
  request.path = info->local_uri ? info->local_uri : "";
  for (int i = 0; i < info->num_headers; ++i) {
    std::string name = info->http_headers[i].name;
    for (char& c : name) c = static_cast<char>(std::tolower(c & 0xff));
    request.headers[name] = info->http_headers[i].value;
  }
  char chunk[16384];
  for (int got; (got = mg_read(connection, chunk, sizeof(chunk))) > 0;)
    request.body.append(chunk, static_cast<std::size_t>(got));

  CannedResponse response;
  bool found = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    requests_.push_back(request);
    found = FindResponse(request, &response);
    if (found && response.stall.count() > 0) {
      stopping_changed_.wait_for(lock, response.stall,
                                 [this] { return stopping_; });
    }
  }
  if (!found) {
    if (serves_files_) return 0;  // civetweb serves the file
    ADD_FAILURE() << "unexpected request: " << request.method << " "
                  << request.path;
    response.status = 500;
    response.body = "unexpected request";
  }

  const char* reason = mg_get_response_code_text(nullptr, response.status);
  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                     (reason ? reason : "Status") + "\r\n";
  for (const auto& header : response.headers) {
    head += header.first + ": " + header.second + "\r\n";
  }
  if (response.send_length) {
    head += "Content-Length: " + std::to_string(response.BodySize()) + "\r\n";
  }
  head += "Connection: close\r\n\r\n";
  mg_write(connection, head.data(), head.size());
  if (request.method != "HEAD") WriteBody(connection, response);
  return response.status;
}

bool TestHttpServer::WriteBody(mg_connection* connection,
                               const CannedResponse& response) {
  if (response.drip.count() > 0) {
    if (!Drip(connection, response.body, response.drip)) return false;
    for (std::size_t i = 0; i < response.repeat_count; ++i) {
      if (!Drip(connection, response.repeat, response.drip)) return false;
    }
    return Drip(connection, response.tail, response.drip);
  }
  auto write = [connection](const std::string& bytes) {
    return bytes.empty() ||
           mg_write(connection, bytes.data(), bytes.size()) > 0;
  };
  if (!write(response.body)) return false;
  if (response.repeat_count > 0 && !response.repeat.empty()) {
    // Whole copies of `repeat` in pieces of about 64 KiB.
    const std::size_t per_piece =
        std::max<std::size_t>(1, 65536 / response.repeat.size());
    std::string piece;
    for (std::size_t i = 0; i < per_piece; ++i) piece += response.repeat;
    for (std::size_t left = response.repeat_count; left > 0;) {
      const std::size_t copies = std::min(left, per_piece);
      if (mg_write(connection, piece.data(),
                   copies * response.repeat.size()) <= 0) {
        return false;
      }
      left -= copies;
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return false;
    }
  }
  return write(response.tail);
}

bool TestHttpServer::Drip(mg_connection* connection, const std::string& bytes,
                          std::chrono::milliseconds interval) {
  for (const char byte : bytes) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (stopping_changed_.wait_for(lock, interval,
                                     [this] { return stopping_; })) {
        return false;
      }
    }
    if (mg_write(connection, &byte, 1) <= 0) return false;
  }
  return true;
}

}  // namespace vq_testing
