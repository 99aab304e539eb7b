#include "engine/request_freshness.h"

#include "app/application_variables.h"
#include "response/server_pins.h"
#include "web/answer_protocol.h"
#include "web/request_nonce.h"
#include "web/web.h"

FreshnessExpectation addRequestNonce(Web& web, FreshnessNotices* notices) {
  FreshnessExpectation expectation;
  expectation.nonce = makeRequestNonce();
  expectation.required =
      ApplicationVariables::getBool(ApplicationVariables::SECURE_FRESH);
  expectation.pinFile = ServerPins::kFileName;
  expectation.notices = notices;
  web.addParameter(vq_answer::kNonceParameter, expectation.nonce.c_str());
  return expectation;
}
