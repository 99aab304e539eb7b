#include "support/general_hash_functions.h"

#include <cstdint>

unsigned int PJWHash(const char* begin, std::size_t length) {
  std::uint32_t hash = 0;
  for (std::size_t i = 0; i < length; ++i) {
    // Each byte is a signed 8-bit value widened with its sign, so a byte
    // with the top bit set adds 0xFFFFFFxx (modulo 2^32).
    const std::int32_t ch = static_cast<std::int8_t>(begin[i]);
    hash = (hash << 4) + static_cast<std::uint32_t>(ch);
    const std::uint32_t test = hash & 0xF0000000u;
    if (test != 0)
      hash = (hash ^ (test >> 24)) & 0x0FFFFFFFu;
  }
  return hash;
}

unsigned int PJWHash(const std::string& text) {
  return PJWHash(text.data(), text.size());
}
