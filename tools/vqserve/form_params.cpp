#include "vqserve/form_params.h"

#include <climits>
#include <cstring>
#include <vector>

#include <civetweb.h>

namespace vqtools {

namespace {

// Form decoding never lengthens a text, so |length| + 1 bytes always hold
// the result and its terminating NUL.
std::string decode(const char* begin, size_t length) {
  std::vector<char> buffer(length + 1);
  int decoded = mg_url_decode(begin, static_cast<int>(length), buffer.data(),
                              static_cast<int>(buffer.size()), 1);
  if (decoded < 0)
    return std::string(begin, length);
  return std::string(buffer.data(), static_cast<size_t>(decoded));
}

}  // namespace

void appendFormParams(const char* data, size_t length, FormParams* out) {
  // mg_url_decode takes int lengths; the server caps bodies far below this.
  if (length > static_cast<size_t>(INT_MAX) - 1)
    return;
  const char* end = data + length;
  const char* pair = data;
  while (pair < end) {
    const char* pair_end =
        static_cast<const char*>(std::memchr(pair, '&', end - pair));
    if (!pair_end)
      pair_end = end;
    if (pair_end > pair) {
      const char* equals =
          static_cast<const char*>(std::memchr(pair, '=', pair_end - pair));
      if (equals) {
        out->emplace_back(decode(pair, equals - pair),
                          decode(equals + 1, pair_end - equals - 1));
      } else {
        out->emplace_back(decode(pair, pair_end - pair), std::string());
      }
    }
    pair = pair_end + 1;
  }
}

}  // namespace vqtools
