#include "cmdserver/access_key.h"

#include <openssl/rand.h>

namespace cmdserver {

const char kAccessKeyAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

namespace {
constexpr unsigned kAlphabetSize = sizeof(kAccessKeyAlphabet) - 1;
// Bytes at or above this bound are dropped so every character is equally
// likely (256 is not a multiple of 62).
constexpr unsigned kUnbiasedBound = 256 - 256 % kAlphabetSize;
}  // namespace

std::string makeAccessKey(std::size_t length) {
  std::string key;
  key.reserve(length);
  unsigned char bytes[64];
  while (key.size() < length) {
    if (RAND_bytes(bytes, sizeof(bytes)) != 1) {
      throw std::string("No random data for the command server key");
    }
    for (unsigned char byte : bytes) {
      if (byte >= kUnbiasedBound) continue;
      key.push_back(kAccessKeyAlphabet[byte % kAlphabetSize]);
      if (key.size() == length) break;
    }
  }
  return key;
}

}  // namespace cmdserver
