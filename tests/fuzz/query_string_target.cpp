// URL decoding and query-string splitting, as the command server applies
// them to every request's query string.
#include <string>

#include "fuzz/fuzz_targets.h"
#include "fuzz/fuzz_scratch.h"
#include "support/http_query_string.h"

namespace vq_fuzz {

bool FuzzQueryString(const uint8_t* data, size_t size, std::string* failure) {
  const std::string text = Bytes(data, size);  // read up to the first NUL
  const std::string decoded = http::QueryString::urlDecode(text.c_str());
  if (decoded.size() > std::string(text.c_str()).size()) {
    *failure = "decoding made the text longer";
    return false;
  }
  if (text.find_first_of("%+") == std::string::npos &&
      decoded != text.c_str()) {
    *failure = "decoding changed a text without escapes";
    return false;
  }
  const http::QueryString query(text.c_str());
  for (const auto& [name, value] : query) {
    // Pairs are split at "&" and "=" before decoding, so an encoded "&"
    // may appear in a name or value, but never a name that is longer than
    // the text.
    if (name.size() + value.size() > text.size()) {
      *failure = "a pair is longer than the query string";
      return false;
    }
  }
  return true;
}

}  // namespace vq_fuzz
