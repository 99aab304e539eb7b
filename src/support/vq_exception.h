#ifndef VQ_SUPPORT_VQ_EXCEPTION_H_
#define VQ_SUPPORT_VQ_EXCEPTION_H_

#include <apr_errno.h>

#include <cstdint>
#include <exception>
#include <string>

#include "support/error_codes.h"

// A failure that the update servers should hear about: code, zone, severity,
// description and, when known, the URL being worked on.
//
// Formatted descriptions are rendered into 8,192 characters and cut to at
// most 8,191 characters (any "[APR ERR: ...] " prefix included).
class VqException : public std::exception {
 public:
  // Where the fault lies. Any 32-bit value is representable, since the
  // server's "error" action may name zones of its own.
  enum zone_e : std::int32_t {
    ZONE_CLIENT = 0,  // the agent or its machine
    ZONE_SERVER = 1,  // what the server sent
  };
  // How bad the failure is; any 32-bit value is representable.
  enum severity_e : std::int32_t {
    SEVERITY_LOW = 0,
    SEVERITY_MEDIUM = 1,
    SEVERITY_HIGH = 2,
  };
  // The error's number; see support/error_codes.h. Any 32-bit value is
  // representable.
  using code_e = VqErrorCode;

  // Plain numbers (such as those of the server's "error" action) convert
  // through these, e.g. VqException::zone(0).
  static zone_e zone(std::int32_t value) { return static_cast<zone_e>(value); }
  static severity_e severity(std::int32_t value) {
    return static_cast<severity_e>(value);
  }
  static code_e code(std::int32_t value) { return static_cast<code_e>(value); }

  VqException(zone_e zone,
              severity_e severity,
              code_e code,
              const std::string& text);
  VqException(const char* url,
              zone_e zone,
              severity_e severity,
              code_e code,
              const std::string& text);
  VqException(zone_e zone,
              severity_e severity,
              code_e code,
              const char* format,
              ...) __attribute__((format(printf, 5, 6)));
  VqException(const char* url,
              zone_e zone,
              severity_e severity,
              code_e code,
              const char* format,
              ...) __attribute__((format(printf, 6, 7)));
  // The description becomes "[APR ERR: " + apr_strerror(status) + "] " +
  // the rendering of `format`.
  VqException(zone_e zone,
              severity_e severity,
              code_e code,
              apr_status_t status,
              const char* format,
              ...) __attribute__((format(printf, 6, 7)));
  VqException(const char* url,
              zone_e zone,
              severity_e severity,
              code_e code,
              apr_status_t status,
              const char* format,
              ...) __attribute__((format(printf, 7, 8)));
  // Zone 0, severity 1, code 110.
  VqException(const char* url, const std::string& text);
  explicit VqException(const char* text);
  VqException(const char* url, const char* text);

  VqException(const VqException& other) = default;
  VqException& operator=(const VqException& other) = default;
  ~VqException() override;

  // The description, NUL-terminated.
  const char* what() const noexcept override;

  code_e getErrorCode() const { return code_; }
  zone_e getErrorZone() const { return zone_; }
  severity_e getErrorSeverity() const { return severity_; }
  const std::string& getErrorDescription() const { return description_; }
  const std::string& url() const { return url_; }

  // Size of the rendering buffer, terminating NUL included.
  static constexpr std::size_t kMaxFormatted = 8192;

 private:
  zone_e zone_;
  severity_e severity_;
  code_e code_;
  std::string description_;
  std::string url_;
};

#endif  // VQ_SUPPORT_VQ_EXCEPTION_H_
