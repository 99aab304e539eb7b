#ifndef VQ_VQSIGN_ANSWER_SIGNING_H_
#define VQ_VQSIGN_ANSWER_SIGNING_H_

#include <cstdint>
#include <string>

#include "vqsign/rsa_signer.h"

namespace vqtools {

// The value of the "xxx-vq-sig2" header for an answer |body| to a request
// that carried |nonce|: RSA PKCS#1 v1.5 over the SHA-256 digest of
// vq_answer::secondSignatureMessage(nonce, body), in Base64. The body is
// taken up to its first NUL, as the agent reads it. Throws
// std::invalid_argument for a nonce that is not 32 lower-case hexadecimal
// digits: signing anything else could make one message stand for two.
std::string secondSignature(const RsaSigner& signer, const std::string& nonce,
                            const std::string& body);

// |document| with the expiry |expiry| (vq_answer::formatExpiry form) in the
// "expires" attribute of its root element: added right after the element's
// name, or replacing the value of one that is there. Nothing else of the
// document changes. Returns false and fills |error| when no root element
// start tag can be found.
bool stampExpiry(const std::string& document, const std::string& expiry,
                 std::string* stamped, std::string* error);

// Reads "--expires-in" seconds (a positive decimal) or an "--expires" time
// (vq_answer form) into an absolute time. Returns false for anything else.
bool expiryFromArguments(const std::string& expiresIn,
                         const std::string& expires, std::int64_t now,
                         std::int64_t* expiry);

}  // namespace vqtools

#endif  // VQ_VQSIGN_ANSWER_SIGNING_H_
