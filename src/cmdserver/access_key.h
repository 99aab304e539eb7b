#ifndef VQ_CMDSERVER_ACCESS_KEY_H_
#define VQ_CMDSERVER_ACCESS_KEY_H_

#include <cstddef>
#include <string>

namespace cmdserver {

// The characters an access key is made of.
extern const char kAccessKeyAlphabet[];  // 62 characters, digits then letters

// Length of the key the command server publishes.
constexpr std::size_t kAccessKeyLength = 25;

// A fresh key of `length` characters drawn uniformly from kAccessKeyAlphabet
// with the operating system's cryptographic random source (so it cannot be
// guessed from the start time). Throws a std::string when the source fails.
std::string makeAccessKey(std::size_t length = kAccessKeyLength);

}  // namespace cmdserver

#endif  // VQ_CMDSERVER_ACCESS_KEY_H_
