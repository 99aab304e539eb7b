#ifndef VQ_WEB_APPLE_WEB_H_
#define VQ_WEB_APPLE_WEB_H_

#include <apr_pools.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "web/web.h"
#include "web/web_host.h"

// The concrete Web: checks the URL and the reachability of its host, then
// makes one HTTP exchange through the platform transport (idle limit 30 s,
// whole exchange at most vq_bounds::kRequestDeadlineSeconds, body at most
// maxBodyBytes(), redirects followed, no cache) and stores the body and the
// headers of the response, names lower-cased. get() returns true or raises
// VqException:
//   210 the URL does not parse, has no host, or the host cannot be checked;
//   215 the host cannot be reached (no transfer, no get_completed);
//   155 the exchange failed (refused, reset, timed out, answer too large,
//       cancelled...);
//   205 the wait for the exchange gave up.
// Any HTTP status, 404 included, is a successful exchange.
class AppleWeb : public Web {
 public:
  explicit AppleWeb(apr_pool_t* pool);
  AppleWeb(apr_pool_t* pool, WebHost host);
  ~AppleWeb() override;

  bool get() override;

  // Polled while the exchange runs (about once a second at the slowest);
  // true ends it within that time with code 155. Used so that quitting
  // never waits for a server.
  void setCancelCheck(std::function<bool()> cancelled) {
    cancelled_ = std::move(cancelled);
  }
  // Seconds the whole exchange may take; 0 for no limit.
  void setTotalTimeoutSeconds(long seconds) { totalTimeoutSeconds_ = seconds; }

  // Exchanges that ended because the wait gave up, during the life of the
  // process.
  static std::uint32_t requestTimeoutCount();

  // Longest header name or value stored; longer entries are skipped.
  static constexpr std::size_t kMaxHeaderText = 2047;

 protected:
  // Bytes per second below which a transfer that lasts the idle limit fails.
  void setLowSpeedLimit(long bytesPerSecond) {
    lowSpeedBytesPerSecond_ = bytesPerSecond;
  }

 private:
  class ResponseSink;

  void storeHeader(const std::string& name, const std::string& value);

  WebHost host_;
  std::function<bool()> cancelled_;
  long totalTimeoutSeconds_;
  long lowSpeedBytesPerSecond_ = 1;
  static std::atomic<std::uint32_t> request_timeout_count_;
};

#endif  // VQ_WEB_APPLE_WEB_H_
