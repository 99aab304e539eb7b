#ifndef VQ_SUPPORT_GENERAL_HASH_FUNCTIONS_H_
#define VQ_SUPPORT_GENERAL_HASH_FUNCTIONS_H_

#include <cstddef>
#include <string>

// The P. J. Weinberger hash in 32-bit unsigned arithmetic, each character
// taken as a signed 8-bit value widened with its sign.
unsigned int PJWHash(const std::string& text);
// The same over the byte range [begin, begin + length).
unsigned int PJWHash(const char* begin, std::size_t length);

#endif  // VQ_SUPPORT_GENERAL_HASH_FUNCTIONS_H_
