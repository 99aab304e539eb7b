#include "response/answer_freshness.h"

#include <log4cpp/Category.hh>

#include "response/server_pins.h"
#include "support/log_text.h"
#include "support/vq_exception.h"
#include "web/answer_protocol.h"
#include "web/ssl_crypto.h"

using vq_support::LogSafe;

bool FreshnessNotices::firstFor(const std::string& server) {
  std::lock_guard<std::mutex> lock(mutex_);
  return noted_.insert(server).second;
}

namespace {

[[noreturn]] void refuse(log4cpp::Category& logger, const std::string& url,
                         VqErrorCode code, const std::string& text) {
  logger.error(text);
  throw VqException(url.c_str(), VqException::ZONE_SERVER,
                    VqException::SEVERITY_HIGH, code, text);
}

}  // namespace

void checkAnswerFreshness(const FreshnessExpectation& expectation,
                          const std::string& url, std::string_view body,
                          const char* expires, const char* secondSignature,
                          std::int64_t now, apr_pool_t* pool,
                          log4cpp::Category& logger) {
  // An expiry that is present must hold, whatever else the answer carries:
  // it is part of the signed body, so the publisher meant it.
  if (expires != nullptr) {
    std::int64_t expiry = 0;
    if (!vq_answer::parseExpiry(expires, &expiry)) {
      refuse(logger, url, kErrAnswerExpired,
             "Answer expiry is unreadable: " + LogSafe(expires));
    }
    if (expiry <= now) {
      refuse(logger, url, kErrAnswerExpired,
             "Answer expired at " + std::string(expires) + "; it is now " +
                 vq_answer::formatExpiry(now));
    }
  }

  const std::string server = serverOfPage(url);
  ServerPins pins(pool, expectation.pinFile.empty() ? ServerPins::kFileName
                                                    : expectation.pinFile);
  if (secondSignature != nullptr) {
    if (!ssl_checkClientSecondSignature(expectation.nonce, body.data(),
                                        body.size(), secondSignature, pool)) {
      refuse(logger, url, kErrSecondSignatureMismatch,
             "VQ second signature verification failed for sig2=" +
                 LogSafe(secondSignature));
    }
    logger.debug("VQ second signature verification succeeded");
    std::string why;
    if (!pins.pin(server, &why)) {
      logger.warn("Could not remember " + LogSafe(server) +
                  " as signing for each request: " + why);
    }
    return;
  }

  if (pins.isPinned(server)) {
    refuse(logger, url, kErrSecondSignatureMissing,
           "Server " + LogSafe(server) +
               " has signed its answers for each request before; this answer "
               "has no " + vq_answer::kSecondSignatureHeader + " header");
  }
  if (expectation.required) {
    if (expires == nullptr) {
      refuse(logger, url, kErrAnswerNotFresh,
             "Fresh answers are required, and this answer has neither an " +
                 std::string(vq_answer::kSecondSignatureHeader) +
                 " header nor an expiry");
    }
    return;  // an unexpired expiry, checked above
  }
  if (expectation.notices == nullptr ||
      expectation.notices->firstFor(server)) {
    logger.notice("Answers from " + LogSafe(server) + " carry no " +
                  vq_answer::kSecondSignatureHeader + " header" +
                  (expires ? "" : " and no expiry") +
                  ": they could be replayed");
  }
}
