// Permission strings in both grammars. Input: two bytes of base
// permissions, one byte whose low bit says "directory", then the string.
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "support/apr_permissions.h"

namespace vq_fuzz {
namespace {

constexpr int kAllPermissionBits = 0x0777;

}  // namespace

bool FuzzPermissions(const uint8_t* data, size_t size, std::string* failure) {
  if (size < 3) return true;
  const int base = ((data[0] << 8) | data[1]) & kAllPermissionBits;
  const bool isDirectory = (data[2] & 1) != 0;
  const std::string text = Bytes(data + 3, size - 3);

  try {
    const int strict = apr_permstr(text.c_str());
    if (strict & ~kAllPermissionBits) {
      *failure = "strict parse set bits beyond the nine";
      return false;
    }
    // What the strict grammar accepts, it also prints back the same.
    const std::string printed = apr_strperm(strict);
    if (apr_permstr(printed.c_str()) != strict) {
      *failure = "strict parse of the printed string differs: " + printed;
      return false;
    }
  } catch (const std::runtime_error&) {
  }
  try {
    const int extended = apr_permstr(text.c_str(), base, isDirectory);
    if (extended & ~kAllPermissionBits) {
      *failure = "extended parse set bits beyond the nine";
      return false;
    }
    // "........." leaves every bit as it was.
    if (apr_permstr(".........", extended, isDirectory) != extended) {
      *failure = "extended parse of dots changed the base";
      return false;
    }
  } catch (const std::runtime_error&) {
  }
  return true;
}

}  // namespace vq_fuzz
