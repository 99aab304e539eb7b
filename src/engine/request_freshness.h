#ifndef VQ_ENGINE_REQUEST_FRESHNESS_H_
#define VQ_ENGINE_REQUEST_FRESHNESS_H_

#include <string>

#include "response/answer_freshness.h"

class Web;

// Adds a fresh nonce to `web` as its last parameter (web/answer_protocol.h)
// and returns what the answer to that request must then show: bound to the
// nonce, with "secure.fresh" as it is now. Servers that do not know the
// parameter ignore it. Throws std::runtime_error when no nonce can be made.
FreshnessExpectation addRequestNonce(Web& web, FreshnessNotices* notices);

#endif  // VQ_ENGINE_REQUEST_FRESHNESS_H_
