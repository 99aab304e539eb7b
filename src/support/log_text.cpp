#include "support/log_text.h"

#include <cstdio>

namespace vq_support {

std::string LogSafe(std::string_view text, std::size_t limit) {
  const std::string_view shown = text.substr(0, limit);
  std::string out;
  out.reserve(shown.size() + 16);
  for (const char c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char escaped[5];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  if (shown.size() < text.size())
    out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

}  // namespace vq_support
