#include "support/apr_status.h"

#include <apr_errno.h>

#include <cstdarg>
#include <string>

#include "support/format_util.h"

namespace {

constexpr std::size_t kMaxLine = 4096;

std::string AprLine(int status, const char* format, va_list args) {
  std::string line = "[APR STATUS: ";
  line += aprStatus(status);
  line += "] ";
  line += vq_support::FormatV(kMaxLine, format, args);
  vq_support::CutTo(kMaxLine, line);
  return line;
}

}  // namespace

const char* aprStatus(int status) {
  // One buffer per thread: the update thread and the command server's
  // workers log APR failures concurrently.
  thread_local char buffer[1024];
  apr_strerror(status, buffer, sizeof(buffer));
  return buffer;
}

void logApr(log4cpp::Priority::Value priority,
            log4cpp::Category& category,
            int status,
            const char* format,
            ...) {
  if (!category.isPriorityEnabled(priority))
    return;
  va_list args;
  va_start(args, format);
  const std::string line = AprLine(status, format, args);
  va_end(args);
  category.log(priority, line);
}

void errApr(log4cpp::Category& category, int status, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = AprLine(status, format, args);
  va_end(args);
  category.error(line);
  throw line;
}
