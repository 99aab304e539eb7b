#ifndef VQ_RESPONSE_ANSWER_FRESHNESS_H_
#define VQ_RESPONSE_ANSWER_FRESHNESS_H_

#include <apr_pools.h>

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace log4cpp {
class Category;
}

// Remembers which servers have had a log line about answers that carry no
// second signature, so that line is written once per server and process.
// Shared by the threads that process answers.
class FreshnessNotices {
 public:
  // True the first time it is asked about `server`.
  bool firstFor(const std::string& server);

 private:
  std::mutex mutex_;
  std::set<std::string> noted_;
};

// What the agent knows about the request an answer belongs to.
struct FreshnessExpectation {
  // The nonce sent with the request (web/answer_protocol.h).
  std::string nonce;
  // "secure.fresh": accept only answers signed for this nonce or carrying
  // an unexpired expiry.
  bool required = false;
  // The pin list's file (response/server_pins.h), relative to the working
  // directory.
  std::string pinFile;
  // Where "no second signature" notices are counted; null logs each time.
  FreshnessNotices* notices = nullptr;
};

// Decides whether an answer whose first signature ("xxx-vq-sig") has
// already verified is fresh enough to obey. Returns when it is; throws
// VqException carrying `url` (zone 1, severity 2) when it is not:
//   300 its "expires" attribute is unreadable or not later than `now`;
//   305 its "xxx-vq-sig2" does not verify for the request's nonce;
//   310 freshness is required, and it has neither a second signature nor
//       an expiry;
//   315 its server is pinned, and it has no second signature.
// A valid second signature pins the server (a failure to store the pin is
// logged, not raised: the answer itself is good). Without the requirement
// an answer with neither is accepted, and that is logged once per server.
//
// `body` is the text the first signature covers; `expires` the root's
// attribute and `secondSignature` the header, each null when absent; `now`
// in seconds since the Unix epoch.
void checkAnswerFreshness(const FreshnessExpectation& expectation,
                          const std::string& url, std::string_view body,
                          const char* expires, const char* secondSignature,
                          std::int64_t now, apr_pool_t* pool,
                          log4cpp::Category& logger);

#endif  // VQ_RESPONSE_ANSWER_FRESHNESS_H_
