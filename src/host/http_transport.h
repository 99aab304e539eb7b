#ifndef VQ_HOST_HTTP_TRANSPORT_H_
#define VQ_HOST_HTTP_TRANSPORT_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace host {

// One HTTP exchange as the web client asks for it: a POST of exactly
// `body_size` bytes when `body_size` > 0, a GET otherwise. No header of the
// program's own is sent and nothing is served from a cache.
struct HttpRequest {
  std::string url;
  const char* body = nullptr;
  std::size_t body_size = 0;
  // Seconds a connection attempt may take, and seconds a transfer may stay
  // below `low_speed_bytes_per_second` before the exchange fails as timed
  // out.
  long idle_timeout_seconds = 30;
  long low_speed_bytes_per_second = 1;
  // Seconds the whole exchange may take; 0 for no limit (downloads, which
  // still complete on slow lines as long as they keep moving).
  long total_timeout_seconds = 0;
  // Largest body accepted, in bytes; 0 for no limit. A response announcing
  // a larger body fails at once; the sink counts what actually arrives.
  std::size_t max_body_bytes = 0;
  // Polled on the fetching thread while the exchange runs, at least about
  // once a second even when nothing arrives; true ends the exchange at once
  // with `HttpResult::cancelled` set. Empty: never cancelled.
  std::function<bool()> cancelled{};
  // Connect straight to the host, never through a proxy named by the
  // environment: for talking to another process on 127.0.0.1.
  bool direct = false;
};

// Receives the final response of an exchange (after redirects). Called on
// the thread that runs Fetch().
class HttpResponseSink {
 public:
  virtual ~HttpResponseSink() = default;
  // A piece of the body, in order. Returning false aborts the exchange,
  // which then ends with an error.
  virtual bool onBodyData(const char* data, std::size_t size) = 0;
  // One header of the final response, name as the server wrote it. Called
  // after the body, once per header line.
  virtual void onHeader(const std::string& name, const std::string& value) = 0;
};

struct HttpResult {
  // False only when the wait for the exchange gave up before it ended; the
  // exchange's own failures leave this true and fill `error`.
  bool completed = true;
  // Empty on success, whatever the HTTP status; otherwise a human-readable
  // description of the transport failure.
  std::string error;
  long status = 0;
  // The exchange ended because `HttpRequest::cancelled` said so (`error`
  // is set as well).
  bool cancelled = false;
};

// Performs HTTP exchanges. Implementations are safe to use from several
// threads at once, one Fetch() per thread.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  virtual HttpResult fetch(const HttpRequest& request,
                           HttpResponseSink& sink) = 0;
};

// The platform's transport (libcurl on Linux).
std::shared_ptr<HttpTransport> createHttpTransport();

}  // namespace host

#endif  // VQ_HOST_HTTP_TRANSPORT_H_
