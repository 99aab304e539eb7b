#include "web/answer_protocol.h"

#include <cstdio>

namespace vq_answer {

namespace {

bool isLowerHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Reads exactly `count` decimal digits at `at`.
bool readDigits(std::string_view text, std::size_t at, std::size_t count,
                int* value) {
  if (at + count > text.size()) return false;
  int result = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int year, int month, int day) {
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int dayOfEra = static_cast<int>(days - era * 146097);
  const int yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int monthIndex = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

bool isWellFormedNonce(std::string_view nonce) {
  if (nonce.size() != kNonceLength) return false;
  for (char c : nonce) {
    if (!isLowerHex(c)) return false;
  }
  return true;
}

std::string secondSignatureMessage(std::string_view nonce,
                                   std::string_view body) {
  std::string message;
  message.reserve(sizeof(kSecondSignatureDomain) + nonce.size() + 1 +
                  body.size());
  message.append(kSecondSignatureDomain);
  message.push_back('\n');
  message.append(nonce);
  message.push_back('\n');
  message.append(body);
  return message;
}

bool parseExpiry(std::string_view text, std::int64_t* unixSeconds) {
  // YYYY-MM-DDTHH:MM:SSZ
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' ||
      text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
      text[19] != 'Z') {
    return false;
  }
  int year, month, day, hour, minute, second;
  if (!readDigits(text, 0, 4, &year) || !readDigits(text, 5, 2, &month) ||
      !readDigits(text, 8, 2, &day) || !readDigits(text, 11, 2, &hour) ||
      !readDigits(text, 14, 2, &minute) || !readDigits(text, 17, 2, &second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  *unixSeconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 +
                 minute * 60 + second;
  return true;
}

std::string formatExpiry(std::int64_t unixSeconds) {
  std::int64_t days = unixSeconds / 86400;
  std::int64_t rest = unixSeconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int year, month, day;
  civilFromDays(days, &year, &month, &day);
  char text[96];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02dZ", year,
                month, day, static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

}  // namespace vq_answer
