#include "web/request_nonce.h"

#include <openssl/rand.h>

#include <stdexcept>

#include "web/answer_protocol.h"

std::string makeRequestNonce() {
  unsigned char bytes[vq_answer::kNonceBytes];
  if (RAND_bytes(bytes, sizeof(bytes)) != 1) {
    throw std::runtime_error("the random number generator failed");
  }
  static const char kHex[] = "0123456789abcdef";
  std::string nonce;
  nonce.reserve(vq_answer::kNonceLength);
  for (unsigned char byte : bytes) {
    nonce.push_back(kHex[byte >> 4]);
    nonce.push_back(kHex[byte & 0x0f]);
  }
  return nonce;
}
