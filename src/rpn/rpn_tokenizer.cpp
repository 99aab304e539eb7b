#include "rpn/rpn_tokenizer.h"

#include <cctype>
#include <cstdio>

namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c));
}

}  // namespace

void RpnTokenizer::literal(std::string token) {
  std::printf("%s", token.c_str());
}

void RpnTokenizer::string(std::string token) {
  std::printf("\"%s\"", token.c_str());
}

const char* RpnTokenizer::parse(const char* text) {
  if (!text)
    return text;
  const char* p = text;
  for (;;) {
    while (IsSpace(*p))
      ++p;
    if (*p == '\0')
      return p;
    if (*p == ']')
      return p + 1;
    if (*p == '\'' || *p == '"') {
      const char quote = *p++;
      const char* start = p;
      while (*p != '\0' && *p != quote)
        ++p;
      string(std::string(start, p));
      if (*p == quote)
        ++p;
      continue;
    }
    const char* start = p;
    while (*p != '\0' && *p != ']' && !IsSpace(*p))
      ++p;
    literal(std::string(start, p));
  }
}
