#include "support/vq_exception.h"

#include <apr_strings.h>

#include <cstdarg>

#include "support/format_util.h"

namespace {

std::string AprPrefix(apr_status_t status) {
  char text[1024];
  apr_strerror(status, text, sizeof(text));
  return std::string("[APR ERR: ") + text + "] ";
}

// Prefix and rendering share one buffer of kMaxFormatted characters.
std::string WithPrefix(apr_status_t status, const char* format, va_list args) {
  std::string text = AprPrefix(status);
  text += vq_support::FormatV(VqException::kMaxFormatted, format, args);
  vq_support::CutTo(VqException::kMaxFormatted, text);
  return text;
}

std::string UrlText(const char* url) {
  return url ? url : "";
}

}  // namespace

VqException::VqException(zone_e zone,
                         severity_e severity,
                         code_e code,
                         const std::string& text)
    : zone_(zone), severity_(severity), code_(code), description_(text) {}

VqException::VqException(const char* url,
                         zone_e zone,
                         severity_e severity,
                         code_e code,
                         const std::string& text)
    : zone_(zone),
      severity_(severity),
      code_(code),
      description_(text),
      url_(UrlText(url)) {}

VqException::VqException(zone_e zone,
                         severity_e severity,
                         code_e code,
                         const char* format,
                         ...)
    : zone_(zone), severity_(severity), code_(code) {
  va_list args;
  va_start(args, format);
  description_ = vq_support::FormatV(kMaxFormatted, format, args);
  va_end(args);
}

VqException::VqException(const char* url,
                         zone_e zone,
                         severity_e severity,
                         code_e code,
                         const char* format,
                         ...)
    : zone_(zone), severity_(severity), code_(code), url_(UrlText(url)) {
  va_list args;
  va_start(args, format);
  description_ = vq_support::FormatV(kMaxFormatted, format, args);
  va_end(args);
}

VqException::VqException(zone_e zone,
                         severity_e severity,
                         code_e code,
                         apr_status_t status,
                         const char* format,
                         ...)
    : zone_(zone), severity_(severity), code_(code) {
  va_list args;
  va_start(args, format);
  description_ = WithPrefix(status, format, args);
  va_end(args);
}

VqException::VqException(const char* url,
                         zone_e zone,
                         severity_e severity,
                         code_e code,
                         apr_status_t status,
                         const char* format,
                         ...)
    : zone_(zone), severity_(severity), code_(code), url_(UrlText(url)) {
  va_list args;
  va_start(args, format);
  description_ = WithPrefix(status, format, args);
  va_end(args);
}

VqException::VqException(const char* url, const std::string& text)
    : zone_(ZONE_CLIENT),
      severity_(SEVERITY_MEDIUM),
      code_(kErrGeneral),
      description_(text),
      url_(UrlText(url)) {}

VqException::VqException(const char* text)
    : zone_(ZONE_CLIENT),
      severity_(SEVERITY_MEDIUM),
      code_(kErrGeneral),
      description_(text ? text : "") {}

VqException::VqException(const char* url, const char* text)
    : zone_(ZONE_CLIENT),
      severity_(SEVERITY_MEDIUM),
      code_(kErrGeneral),
      description_(text ? text : ""),
      url_(UrlText(url)) {}

VqException::~VqException() = default;

const char* VqException::what() const noexcept {
  return description_.c_str();
}
