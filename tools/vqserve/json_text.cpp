#include "vqserve/json_text.h"

#include <cstdio>

namespace vqtools {

namespace {

void appendUnicodeEscape(unsigned char byte, std::string* out) {
  char escape[7];
  std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
  out->append(escape);
}

// Length of the well-formed UTF-8 sequence starting at text[i] (2 to 4), or
// 0 when the bytes there do not form one. Rejects overlong forms, UTF-16
// surrogates and code points above U+10FFFF.
size_t utf8SequenceLength(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) {
    return static_cast<unsigned char>(text[i + k]);
  };
  const unsigned char lead = byte(0);
  size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size())
    return 0;
  if (byte(1) < low || byte(1) > high)
    return 0;
  for (size_t k = 2; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF)
      return 0;
  }
  return length;
}

}  // namespace

std::string jsonString(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out.push_back('"');
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const size_t length = utf8SequenceLength(bytes, i);
      if (length == 0) {
        appendUnicodeEscape(c, &out);
        ++i;
      } else {
        out.append(bytes, i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          appendUnicodeEscape(c, &out);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  out.push_back('"');
  return out;
}

}  // namespace vqtools
