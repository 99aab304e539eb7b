#include "rpn/rpn_token.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr char kTrue[] = "TRUE";
constexpr char kFalse[] = "FALSE";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool StartsWithNoCase(const char* p, const char* word) {
  for (; *word; ++p, ++word) {
    if ((*p | 0x20) != *word)
      return false;
  }
  return true;
}

// strtod can only succeed when, after white space and a sign, the text
// starts with a digit, a point, "inf" or "nan". Checking that first keeps
// the common case of a plain word cheap.
bool MayStartNumber(const char* p) {
  while (IsSpace(*p))
    ++p;
  if (*p == '+' || *p == '-')
    ++p;
  return IsDigit(*p) || *p == '.' || StartsWithNoCase(p, "inf") ||
         StartsWithNoCase(p, "nan");
}

// Parses texts of the form [sign] digits [. digits] with at most 15 digits
// in all, the common form of attribute values. Such a value is exact as an
// integer below 2^53 and 10^k is exact for k <= 15, so one division gives
// the correctly rounded double, the same one strtod gives. Returns false
// for every other text, which then goes to strtod.
bool ParseShortDecimal(const std::string& text, double* out) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-'))
    negative = (*p++ == '-');
  long long digits = 0;
  int count = 0;
  int decimals = 0;
  bool point = false;
  for (; p != end; ++p) {
    if (IsDigit(*p)) {
      if (++count > 15)
        return false;
      digits = digits * 10 + (*p - '0');
      if (point)
        ++decimals;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (count == 0)
    return false;
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3, 1e4,  1e5,
                                       1e6,  1e7,  1e8,  1e9, 1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15};
  double value = static_cast<double>(digits) / kPowers[decimals];
  *out = negative ? -value : value;
  return true;
}

}  // namespace

RpnToken::RpnToken() : type(RpnVoid) {}

RpnToken::RpnToken(bool b) : type(RpnLiteral), value(b ? kTrue : kFalse) {}

RpnToken::RpnToken(double d) : type(RpnLiteral), value(formatNumber(d)) {}

RpnToken::RpnToken(const char* text, RpnType t)
    : type(t), value(text ? text : "") {}

RpnToken::RpnToken(std::string text, RpnType t)
    : type(t), value(std::move(text)) {}

bool RpnToken::numericValue(const std::string& text, double* number) {
  if (text.empty()) {
    *number = 0;
    return true;
  }
  if (ParseShortDecimal(text, number))
    return true;
  const char* begin = text.c_str();
  if (!MayStartNumber(begin))
    return false;
  char* end = nullptr;
  *number = std::strtod(begin, &end);
  // Compared with the real end of the text, so that a text holding a NUL
  // byte is not taken for the number before it.
  return end == begin + text.size();
}

bool RpnToken::isNumeric() const {
  double unused;
  return numericValue(value, &unused);
}

bool RpnToken::isBoolean() const {
  return value == kTrue || value == kFalse || value == "true" ||
         value == "false";
}

bool RpnToken::asBoolean() const {
  return value == kTrue || value == "true";
}

long RpnToken::asLong() const {
  // strtol rather than atol: same result, but defined on overflow.
  return std::strtol(value.c_str(), nullptr, 10);
}

double RpnToken::asDouble() const {
  double parsed;
  if (ParseShortDecimal(value, &parsed))
    return parsed;
  return std::strtod(value.c_str(), nullptr);
}

void RpnToken::debug() const {
  switch (type) {
    case RpnString:
      std::printf("\"%s\"", value.c_str());
      break;
    case RpnLiteral:
      std::printf("%s", value.c_str());
      break;
    default:
      std::printf("VOID");
      break;
  }
}

std::string RpnToken::formatNumber(double d) {
  // Integral values below 2^53 (the common case: positions and counts) are
  // written directly; printf gives the same digits for them.
  if (d >= 0 && d < 9007199254740992.0 && !std::signbit(d)) {
    const unsigned long long whole = static_cast<unsigned long long>(d);
    if (static_cast<double>(whole) == d) {
      char digits[32];
      char* p = digits + sizeof(digits);
      unsigned long long rest = whole;
      do {
        *--p = static_cast<char>('0' + rest % 10);
        rest /= 10;
      } while (rest != 0);
      std::string text(p, digits + sizeof(digits) - p);
      text += ".000000";
      return text;
    }
  }
  // 1,024 characters hold every finite double in this notation.
  char buffer[1024];
  std::snprintf(buffer, sizeof(buffer), "%lf", d);
  return buffer;
}
