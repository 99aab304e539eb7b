#ifndef VQ_FUZZ_RPN_PATH_CHECK_H_
#define VQ_FUZZ_RPN_PATH_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Parses `data` as a path and runs it over a small fixed document both
// through RpnPath::filter and through a plain restatement of the filtering
// rules over RpnEvaluation variables. Returns false, describing the
// difference in `failure`, when they disagree on the selection or the error.
bool CheckRpnPathInput(const uint8_t* data, size_t size, std::string* failure);

#endif  // VQ_FUZZ_RPN_PATH_CHECK_H_
