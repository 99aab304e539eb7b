#ifndef VQ_APP_LOGGING_CONFIG_H_
#define VQ_APP_LOGGING_CONFIG_H_

#include <string>

// Set-up and tear-down of the process's log4cpp hierarchy.

// Every line of the rolling log: time with milliseconds, priority, category,
// the (always empty) nested context, the message.
constexpr const char kLogPattern[] = "%d{%Y%m%d-%H:%M:%S.%l} %p %c %x: %m%n";
// "vq.log" is moved to "vq.log.1" (one backup) once it reaches this size.
constexpr size_t kLogMaxFileSize = 2097152;
constexpr unsigned int kLogBackups = 1;
// Log files hold machine and server details: owner read and write only.
constexpr int kLogFileMode = 0600;

// Adds a rolling file appender on `fileName` (appending; a relative name
// resolves against the working directory) to the root category, sets the root
// to DEBUG and the "transact" branch to WARN. Configuring the same file again
// replaces its appender.
void configureRollingLog(const std::string& fileName);

// Removes and closes every appender of every category, so that logging can be
// configured afresh. Categories and their priorities stay.
void shutdownLogging();

// Console set-up for tools: an appender named `name` on standard output with
// the basic layout on the root, root priority DEBUG, and the debug message
// "log4cpp framework is initialized." on the category `name`.
void vq_log4cpp_init(const char* name);

#endif  // VQ_APP_LOGGING_CONFIG_H_
