#ifndef VQ_SUPPORT_APR_EXCEPTION_H_
#define VQ_SUPPORT_APR_EXCEPTION_H_

#include <apr_errno.h>

#include <stdexcept>

namespace apr {

// The failure of an apr::File operation. Its message is the APR error text
// of the status, " : ", then the printf rendering of the format (the whole
// message cut to 8,191 characters).
class Exception : public std::runtime_error {
 public:
  Exception(apr_status_t status, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  apr_status_t status() const { return status_; }

 private:
  apr_status_t status_;
};

}  // namespace apr

#endif  // VQ_SUPPORT_APR_EXCEPTION_H_
