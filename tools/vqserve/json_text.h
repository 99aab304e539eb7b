#ifndef VQ_VQSERVE_JSON_TEXT_H_
#define VQ_VQSERVE_JSON_TEXT_H_

#include <string>

namespace vqtools {

// Returns |bytes| as a quoted JSON string. Quotes, backslashes and control
// characters (including NUL and DEL) are escaped. Well-formed UTF-8 is kept
// as it is; every byte that is not part of a well-formed UTF-8 sequence is
// written as \u00XX, i.e. read as Latin-1, so the line stays valid JSON
// whatever bytes a client sent.
std::string jsonString(const std::string& bytes);

}  // namespace vqtools

#endif  // VQ_VQSERVE_JSON_TEXT_H_
