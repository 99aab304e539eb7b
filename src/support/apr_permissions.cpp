#include "support/apr_permissions.h"

#include <apr_file_info.h>

#include <stdexcept>
#include <string>

namespace {

// Bit and letter of each position, owner read first.
constexpr int kBits[9] = {APR_UREAD, APR_UWRITE, APR_UEXECUTE,
                          APR_GREAD, APR_GWRITE, APR_GEXECUTE,
                          APR_WREAD, APR_WWRITE, APR_WEXECUTE};
constexpr char kLetters[9] = {'r', 'w', 'x', 'r', 'w', 'x', 'r', 'w', 'x'};

int Parse(const char* str, int base, bool isDirectory, bool extended) {
  const std::string text = str ? str : "";
  int perms = base;
  for (int i = 0; i < 9; ++i) {
    // Indexing the std::string stops at the first NUL for a C string.
    const char c = i < static_cast<int>(text.size()) ? text[i] : '\0';
    const int bit = kBits[i];
    if (c == '\0') {
      throw std::runtime_error("permissions string '" + text +
                               "' could not be parsed. String ended "
                               "unexpectedly.");
    }
    if (c == kLetters[i]) {
      perms |= bit;
    } else if (c == '-') {
      perms &= ~bit;
    } else if (extended && c == '.') {
      // Keep the base's bit.
    } else if (extended && (c == 'd' || c == 'D')) {
      if (isDirectory)
        perms |= bit;
    } else if (extended && c == '<') {
      if (i < 3) {
        throw std::runtime_error("permissions string '" + text +
                                 "' contains a < token in the owner set of "
                                 "permissions. Not permitted.");
      }
      // APR keeps each class in its own hexadecimal digit, so the same
      // permission of the class before is four bits higher.
      if (perms & (bit << 4))
        perms |= bit;
    } else {
      throw std::runtime_error("permission string '" + text +
                               "' could no be parsed. Bad character at "
                               "character " +
                               std::to_string(i + 1));
    }
  }
  if (text.size() > 9) {
    throw std::runtime_error("permission string '" + text +
                             "' has too many characters. Only 9 permitted.");
  }
  return perms;
}

}  // namespace

int apr_permstr(const char* str) {
  return Parse(str, 0, false, false);
}

int apr_permstr(const char* str, int base, bool isDirectory) {
  return Parse(str, base, isDirectory, true);
}

const char* apr_strperm(int perms) {
  // Per thread, so that concurrent callers never see each other's text.
  thread_local char buffer[10];
  for (int i = 0; i < 9; ++i) {
    buffer[i] = (perms & kBits[i]) ? kLetters[i] : '-';
  }
  buffer[9] = '\0';
  return buffer;
}
