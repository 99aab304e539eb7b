#ifndef VQ_WEB_WEB_PARAMETER_BUFFER_H_
#define VQ_WEB_WEB_PARAMETER_BUFFER_H_

#include <apr_pools.h>

#include <cstdint>

#include "support/memory_buffer.h"

// The form-encoded parameters of a request ("a+b=x%2fy&c=1"), which become
// the body of a POST. Letters and digits are kept, a blank becomes "+", every
// other byte "%" and two lower-case hexadecimal digits.
//
// The buffer may end in NUL bytes (addNull) so that it can be read as text;
// every operation that appends first removes them, so the text never holds a
// NUL inside.
class WebParameterBuffer : public MemoryBuffer<char> {
 public:
  // Empty, with room for 4,096 bytes.
  explicit WebParameterBuffer(apr_pool_t* pool);

  // Appends "name=value" (with "&" before it unless the buffer is empty).
  // Does nothing when either is null; the value is read up to its NUL.
  void addParameter(const char* name, const char* value);
  // The same with the value taken from the byte range [begin, end), which
  // may hold any byte, NUL included. Does nothing when `name` is null.
  void addParameter(const char* name, const char* begin, const char* end);

  void appendEncoded(const char* text);
  void appendEncoded(const char* begin, const char* end);

  // Appends one NUL unless the buffer already ends with one.
  void addNull();
  void removeTrailingNulls();

  // The P. J. Weinberger hash of every byte of the buffer; 0 when empty.
  std::uint32_t hash() const;
};

#endif  // VQ_WEB_WEB_PARAMETER_BUFFER_H_
