#include "support/apr_exception.h"

#include <cstdarg>
#include <string>

#include "support/apr_status.h"
#include "support/format_util.h"

namespace apr {
namespace {

constexpr std::size_t kMaxMessage = 8192;

std::string Message(apr_status_t status, const char* format, va_list args) {
  std::string text = aprStatus(status);
  text += " : ";
  text += vq_support::FormatV(kMaxMessage, format, args);
  vq_support::CutTo(kMaxMessage, text);
  return text;
}

}  // namespace

// A va_list cannot be handed to the base's initialiser, so the base starts
// empty and is replaced by the rendered message.
Exception::Exception(apr_status_t status, const char* format, ...)
    : std::runtime_error(""), status_(status) {
  va_list args;
  va_start(args, format);
  std::string text = Message(status, format, args);
  va_end(args);
  static_cast<std::runtime_error&>(*this) = std::runtime_error(text);
}

}  // namespace apr
