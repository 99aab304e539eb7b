#ifndef VQ_WEB_APPLE_WEB_H_
#define VQ_WEB_APPLE_WEB_H_

#include <apr_pools.h>

#include <atomic>
#include <cstdint>

#include "web/web.h"
#include "web/web_host.h"

// The concrete Web: checks the URL and the reachability of its host, then
// makes one HTTP exchange through the platform transport (idle limit 30 s,
// redirects followed, no cache) and stores the body and the headers of the
// response, names lower-cased. get() returns true or raises VqException:
//   210 the URL does not parse, has no host, or the host cannot be checked;
//   215 the host cannot be reached (no transfer, no get_completed);
//   155 the exchange failed (refused, reset, timed out...);
//   205 the wait for the exchange gave up.
// Any HTTP status, 404 included, is a successful exchange.
class AppleWeb : public Web {
 public:
  explicit AppleWeb(apr_pool_t* pool);
  AppleWeb(apr_pool_t* pool, WebHost host);
  ~AppleWeb() override;

  bool get() override;

  // Exchanges that ended because the wait gave up, during the life of the
  // process.
  static std::uint32_t requestTimeoutCount();

  // Longest header name or value stored; longer entries are skipped.
  static constexpr std::size_t kMaxHeaderText = 2047;

 private:
  class ResponseSink;

  void storeHeader(const std::string& name, const std::string& value);

  WebHost host_;
  static std::atomic<std::uint32_t> request_timeout_count_;
};

#endif  // VQ_WEB_APPLE_WEB_H_
