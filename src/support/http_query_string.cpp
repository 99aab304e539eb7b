#include "support/http_query_string.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace http {

char* strsep(char** cursor, const char* delimiters) {
  if (cursor == nullptr || *cursor == nullptr)
    return nullptr;
  char* token = *cursor;
  char* end = std::strpbrk(token, delimiters ? delimiters : "");
  if (end == nullptr) {
    *cursor = nullptr;
  } else {
    *end = '\0';
    *cursor = end + 1;
  }
  return token;
}

QueryString::QueryString(const char* text) {
  if (text == nullptr || *text == '\0')
    return;
  std::vector<char> copy(text, text + std::strlen(text) + 1);
  char* cursor = copy.data();
  while (char* token = strsep(&cursor, "&")) {
    char* equals = std::strchr(token, '=');
    if (equals == nullptr) {
      params_[urlDecode(token)] = std::string();
    } else {
      *equals = '\0';
      params_[urlDecode(token)] = urlDecode(equals + 1);
    }
  }
}

std::string QueryString::urlDecode(const char* text) {
  std::string out;
  if (text == nullptr)
    return out;
  const std::size_t length = std::strlen(text);
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && length - i > 2) {
      // Exactly the two characters after "%" must form a hexadecimal byte;
      // strtol would also take a sign or leading blanks, so check each.
      const char hex[3] = {text[i + 1], text[i + 2], '\0'};
      char* end = nullptr;
      const long value = std::strtol(hex, &end, 16);
      const bool bothDigits =
          std::isxdigit(static_cast<unsigned char>(hex[0])) &&
          std::isxdigit(static_cast<unsigned char>(hex[1]));
      if (end == hex + 2 && bothDigits) {
        out += static_cast<char>(value);
        i += 2;
      } else {
        out += '%';
      }
    } else {
      out += c;
    }
  }
  return out;
}

void QueryString::debug(log4cpp::Category& category) const {
  if (!category.isDebugEnabled())
    return;
  log4cpp::Category& vars =
      log4cpp::Category::getInstance(category.getName() + ".vars");
  for (const auto& pair : params_) {
    vars.debug(pair.first + "=" + pair.second);
  }
}

}  // namespace http
