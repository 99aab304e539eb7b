#include "web/web_parameter_buffer.h"

#include <cstring>

#include "support/general_hash_functions.h"

namespace {

constexpr int kInitialCapacity = 4096;

// ASCII only, whatever the process locale says.
bool isAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z');
}

}  // namespace

WebParameterBuffer::WebParameterBuffer(apr_pool_t* pool)
    : MemoryBuffer<char>(pool, kInitialCapacity) {}

void WebParameterBuffer::addParameter(const char* name, const char* value) {
  if (name == nullptr || value == nullptr) return;
  addParameter(name, value, value + std::strlen(value));
}

void WebParameterBuffer::addParameter(const char* name, const char* begin,
                                      const char* end) {
  if (name == nullptr) return;
  removeTrailingNulls();
  if (!empty()) append('&');
  appendEncoded(name);
  append('=');
  if (begin != nullptr && end != nullptr && begin < end) {
    appendEncoded(begin, end);
  }
}

void WebParameterBuffer::appendEncoded(const char* text) {
  if (text == nullptr) return;
  appendEncoded(text, text + std::strlen(text));
}

void WebParameterBuffer::appendEncoded(const char* begin, const char* end) {
  static const char kHex[] = "0123456789abcdef";
  removeTrailingNulls();
  for (const char* p = begin; p < end; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (isAsciiAlnum(c)) {
      append(static_cast<char>(c));
    } else if (c == ' ') {
      append('+');
    } else {
      const char escaped[3] = {'%', kHex[c >> 4], kHex[c & 0x0f]};
      append(escaped, sizeof(escaped));
    }
  }
}

void WebParameterBuffer::addNull() {
  if (empty() || *(end() - 1) != '\0') append('\0');
}

void WebParameterBuffer::removeTrailingNulls() {
  while (!empty() && *(end() - 1) == '\0') popOne();
}

std::uint32_t WebParameterBuffer::hash() const {
  return PJWHash(begin(), size());
}
