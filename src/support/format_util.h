#ifndef VQ_SUPPORT_FORMAT_UTIL_H_
#define VQ_SUPPORT_FORMAT_UTIL_H_

#include <cstdarg>
#include <cstddef>
#include <string>

namespace vq_support {

// The printf rendering of `format`, cut to at most `limit` - 1 characters
// (the size of a `limit`-character buffer with its NUL). A null format
// renders as the empty text.
std::string FormatV(std::size_t limit, const char* format, va_list args);

// Cuts `text` to at most `limit` - 1 characters.
void CutTo(std::size_t limit, std::string& text);

}  // namespace vq_support

#endif  // VQ_SUPPORT_FORMAT_UTIL_H_
