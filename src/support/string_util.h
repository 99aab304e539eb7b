#ifndef VQ_SUPPORT_STRING_UTIL_H_
#define VQ_SUPPORT_STRING_UTIL_H_

#include <cctype>
#include <cstddef>
#include <string_view>

namespace vq_support {

// Whether `text` begins with `prefix`.
inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Whether `text` begins with `prefix`, ASCII letters compared without case.
inline bool StartsWithIgnoringCase(std::string_view text,
                                   std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// "true" or "false", for log lines.
constexpr const char* BoolText(bool value) { return value ? "true" : "false"; }

}  // namespace vq_support

#endif  // VQ_SUPPORT_STRING_UTIL_H_
