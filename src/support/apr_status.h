#ifndef VQ_SUPPORT_APR_STATUS_H_
#define VQ_SUPPORT_APR_STATUS_H_

#include <log4cpp/Category.hh>
#include <log4cpp/Priority.hh>

// The APR error text of `status`. The result lives in a per-thread buffer of
// 1,024 characters that the same thread's next call overwrites, so threads
// never see each other's texts; copy it to keep it.
const char* aprStatus(int status);

// Logs "[APR STATUS: " + aprStatus(status) + "] " + the printf rendering of
// `format` at `priority` on `category`. The line is cut to 4,095 characters.
// Nothing is formatted when the priority is not enabled.
void logApr(log4cpp::Priority::Value priority,
            log4cpp::Category& category,
            int status,
            const char* format,
            ...) __attribute__((format(printf, 4, 5)));

// Builds the same line as logApr, logs it at error priority and throws it as
// a std::string. Never returns.
[[noreturn]] void errApr(log4cpp::Category& category,
                         int status,
                         const char* format,
                         ...) __attribute__((format(printf, 3, 4)));

#endif  // VQ_SUPPORT_APR_STATUS_H_
