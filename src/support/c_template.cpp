#include "support/c_template.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool isAsciiAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9');
}

}  // namespace

void CTemplate::set(const char* name, const char* value) {
  if (name == nullptr) return;
  values[name] = value != nullptr ? value : "";
}

void CTemplate::add(const std::map<std::string, std::string>& more) {
  for (const auto& entry : more) values[entry.first] = entry.second;
}

void CTemplate::clear(const char* name) {
  if (name != nullptr) values.erase(name);
}

void CTemplate::clear() { values.clear(); }

std::string CTemplate::urlEncode(const std::string& value) {
  static const char kHex[] = "0123456789abcdef";
  std::string encoded;
  encoded.reserve(value.size() * 3);
  for (unsigned char c : value) {
    if (isAsciiAlnum(c)) {
      encoded += static_cast<char>(c);
    } else if (c == ' ') {
      encoded += '+';
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0f];
    }
  }
  return encoded;
}

const std::string& CTemplate::parse(const char* text) {
  result.clear();
  if (text == nullptr) return result;
  const size_t length = strlen(text);
  size_t i = 0;
  while (i < length) {
    const char c = text[i];
    if (c != '$') {
      result += c;
      ++i;
      continue;
    }
    const char next = i + 1 < length ? text[i + 1] : '\0';
    if (next == '$') {
      result += '$';
      i += 2;
      continue;
    }
    if (next != '{') {
      result += '$';
      ++i;
      continue;
    }
    const char* close = strchr(text + i + 2, '}');
    if (close == nullptr) {
      // Not a reference: the "$" and the "{" stand for themselves, and a "$$"
      // further on still collapses.
      result += '$';
      ++i;
      continue;
    }
    std::string name(text + i + 2, close);
    const bool encode = !name.empty() && name[0] == '@';
    if (encode) name.erase(0, 1);
    const auto found = values.find(name);
    if (found == values.end()) {
      result += "${" + name + "}";
    } else {
      result += encode ? urlEncode(found->second) : found->second;
    }
    i = static_cast<size_t>(close - text) + 1;
  }
  return result;
}

const std::string& CTemplate::parsef(const char* format, ...) {
  char buffer[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  return parse(buffer);
}
