#ifndef VQ_WEB_ANSWER_PROTOCOL_H_
#define VQ_WEB_ANSWER_PROTOCOL_H_

#include <cstdint>
#include <string>
#include <string_view>

// The freshness part of the update protocol, shared word for word by the
// agent, which checks answers, and the publisher tools, which make them. It
// depends on nothing else, so the tools can use it without the agent.
//
// An agent sends a fresh nonce with every request; a server that knows it
// signs its answer a second time over secondSignatureMessage(nonce, body),
// RSA PKCS#1 v1.5 over SHA-256, in the header kSecondSignatureHeader. An
// answer signed ahead of time (served by a plain web server or a CDN)
// carries instead an absolute expiry in the root element's kExpiresAttribute.
namespace vq_answer {

// The request parameter carrying the nonce; sent after all the others.
inline constexpr char kNonceParameter[] = "nonce";
// The nonce: 16 bytes from a CSPRNG as 32 lower-case hexadecimal digits.
inline constexpr std::size_t kNonceBytes = 16;
inline constexpr std::size_t kNonceLength = 2 * kNonceBytes;

// The second signature's header, beside "xxx-vq-sig" (names lower case, as
// the agent stores them).
inline constexpr char kSecondSignatureHeader[] = "xxx-vq-sig2";

// The expiry attribute of the answer's root element: a UTC time written
// "YYYY-MM-DDTHH:MM:SSZ" (e.g. "2026-12-31T23:59:59Z"); an answer whose
// expiry is not later than the agent's clock is refused.
inline constexpr char kExpiresAttribute[] = "expires";

// Opens the message of the second signature; no other message the key
// signs begins with it.
inline constexpr char kSecondSignatureDomain[] = "vq-answer-sig2";

// True for exactly kNonceLength characters, each 0-9 or a-f.
bool isWellFormedNonce(std::string_view nonce);

// The exact bytes the second signature covers:
//   "vq-answer-sig2" LF nonce LF body
// where nonce is the 32 characters sent in the request and body is every
// byte of the answer's body up to (not including) its first NUL, the same
// bytes the first signature covers. The caller passes only well-formed
// nonces (isWellFormedNonce), so the message splits one way only.
std::string secondSignatureMessage(std::string_view nonce,
                                   std::string_view body);

// Reads an expiry written as above. Returns false for anything else
// (another form, an impossible date, trailing text).
bool parseExpiry(std::string_view text, std::int64_t* unixSeconds);
// Writes `unixSeconds` (UTC) in the expiry form.
std::string formatExpiry(std::int64_t unixSeconds);

}  // namespace vq_answer

#endif  // VQ_WEB_ANSWER_PROTOCOL_H_
