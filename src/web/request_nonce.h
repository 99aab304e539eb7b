#ifndef VQ_WEB_REQUEST_NONCE_H_
#define VQ_WEB_REQUEST_NONCE_H_

#include <string>

// A fresh nonce for one request: vq_answer::kNonceBytes bytes from
// OpenSSL's CSPRNG as lower-case hexadecimal digits (web/answer_protocol.h).
// Throws std::runtime_error when the generator cannot deliver; a request
// must never go out with a guessable nonce.
std::string makeRequestNonce();

#endif  // VQ_WEB_REQUEST_NONCE_H_
