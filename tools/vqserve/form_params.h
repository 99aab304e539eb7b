#ifndef VQ_VQSERVE_FORM_PARAMS_H_
#define VQ_VQSERVE_FORM_PARAMS_H_

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vqtools {

// Decoded name/value pairs in the order in which the client sent them.
// Values are byte strings and may hold NUL bytes (the agent sends included
// files whole).
using FormParams = std::vector<std::pair<std::string, std::string>>;

// Appends the pairs of the application/x-www-form-urlencoded text
// data[0..length) to |out|. Pairs are separated by '&'; a pair without '='
// is a name with an empty value; empty pairs are skipped. Percent escapes
// and '+' are decoded by civetweb; a malformed escape is kept as written.
void appendFormParams(const char* data, size_t length, FormParams* out);

}  // namespace vqtools

#endif  // VQ_VQSERVE_FORM_PARAMS_H_
