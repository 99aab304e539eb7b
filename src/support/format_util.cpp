#include "support/format_util.h"

#include <cstdio>
#include <vector>

namespace vq_support {

std::string FormatV(std::size_t limit, const char* format, va_list args) {
  if (format == nullptr || limit == 0)
    return std::string();
  std::vector<char> buffer(limit);
  const int written = std::vsnprintf(buffer.data(), limit, format, args);
  if (written < 0)
    return std::string();
  return std::string(buffer.data());
}

void CutTo(std::size_t limit, std::string& text) {
  if (limit == 0) {
    text.clear();
  } else if (text.size() > limit - 1) {
    text.resize(limit - 1);
  }
}

}  // namespace vq_support
