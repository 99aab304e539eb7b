#ifndef VQ_SUPPORT_STRING_UTIL_H_
#define VQ_SUPPORT_STRING_UTIL_H_

#include <string_view>

namespace vq_support {

// Whether `text` begins with `prefix`.
inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "true" or "false", for log lines.
constexpr const char* BoolText(bool value) { return value ? "true" : "false"; }

}  // namespace vq_support

#endif  // VQ_SUPPORT_STRING_UTIL_H_
