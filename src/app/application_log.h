#ifndef VQ_APP_APPLICATION_LOG_H_
#define VQ_APP_APPLICATION_LOG_H_

#include <string>

namespace log4cpp {
class Category;
}  // namespace log4cpp

// Name of the application's own log category.
constexpr const char* kApplicationLogCategory = "VqApp";

// The application's own log category ("VqApp") once logging is configured,
// else null. Safe to call from any thread.
log4cpp::Category* applicationLog();
// Set by whoever configures logging; null again when logging shuts down.
void setApplicationLog(log4cpp::Category* log);

// Logs `message` at debug level on the application's category once logging
// exists; before that the message is dropped.
void logApplicationDebug(const std::string& message);

#endif  // VQ_APP_APPLICATION_LOG_H_
