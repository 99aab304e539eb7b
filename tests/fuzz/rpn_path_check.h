#ifndef VQ_FUZZ_RPN_PATH_CHECK_H_
#define VQ_FUZZ_RPN_PATH_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Parses `data` (up to its first NUL) as a path and runs it over a small
// fixed document, twice: through RpnPath::filter and through a plain
// re-statement of the filtering rules that sets every candidate variable in
// an RpnEvaluation and evaluates each filter expression with it. Returns
// false, with a description in `failure`, when the two disagree on the
// selection or on the error message. Any crash or out-of-bounds access is
// left to the sanitizers to report.
bool CheckRpnPathInput(const uint8_t* data, size_t size, std::string* failure);

#endif  // VQ_FUZZ_RPN_PATH_CHECK_H_
