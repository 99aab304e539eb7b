#include "cmdserver/reply_text.h"

#include <cctype>
#include <cstdio>

namespace cmdserver {

std::string htmlEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string hrefEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
        c == '/') {
      escaped += static_cast<char>(c);
    } else {
      char buffer[4];
      std::snprintf(buffer, sizeof(buffer), "%%%02X", c);
      escaped += buffer;
    }
  }
  return escaped;
}

std::string cdataSafe(const std::string& text) {
  std::string safe;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("]]>", start)) != std::string::npos;
       start = end + 2) {
    safe.append(text, start, end + 2 - start);
    safe += "]]><![CDATA[";
  }
  safe.append(text, start, std::string::npos);
  return safe;
}

bool hasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

}  // namespace cmdserver
