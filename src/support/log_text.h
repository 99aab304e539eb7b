#ifndef VQ_SUPPORT_LOG_TEXT_H_
#define VQ_SUPPORT_LOG_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace vq_support {

// Longest piece of one value taken from outside (a request path, a parameter,
// a header) that a log line shows.
inline constexpr std::size_t kLogValueLimit = 512;
// Longest piece of a body (an answer, a submitted document, a request) that a
// log line shows.
inline constexpr std::size_t kLogBodyLimit = 4096;

// `text` made safe for one log line: control characters and DEL are escaped
// ("\n", "\r", "\t", "\\", otherwise "\xNN"), so the result never holds a line
// break and a reader can tell the escapes from the text; at most `limit` bytes
// of `text` are shown, and a cut text ends in "... (N bytes)" with its whole
// length. Bytes of 0x80 and above pass unchanged (UTF-8 stays readable).
std::string LogSafe(std::string_view text, std::size_t limit = kLogValueLimit);

// LogSafe with the body limit.
inline std::string LogSafeBody(std::string_view text) {
  return LogSafe(text, kLogBodyLimit);
}

}  // namespace vq_support

#endif  // VQ_SUPPORT_LOG_TEXT_H_
