#include "support/http_query_string.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/log_text.h"

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
    const std::string value = pair.first == "key" ? kHiddenValue
                                                  : vq_support::LogSafe(pair.second);
    vars.debug(vq_support::LogSafe(pair.first) + "=" + value);
  }
}

std::string QueryString::redactKeyParameter(const std::string& text) {
  static const char kName[] = "key=";
  constexpr std::size_t kNameLength = sizeof(kName) - 1;
  const auto partOfName = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           c == '.' || c == '-';
  };
  const auto endsValue = [](char c) {
    return c == '&' || c == '"' || c == '\'' || c == '<' || c == '>' ||
           std::isspace(static_cast<unsigned char>(c));
  };
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(kName); at != std::string::npos;
       at = text.find(kName, at + 1)) {
    if (at < from || (at > 0 && partOfName(text[at - 1]))) continue;
    std::size_t end = at + kNameLength;
    while (end < text.size() && !endsValue(text[end])) ++end;
    out.append(text, from, at + kNameLength - from);
    out += kHiddenValue;
    from = end;
  }
  out.append(text, from, std::string::npos);
  return out;
}

}  // namespace http
