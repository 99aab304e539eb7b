#ifndef VQ_ENGINE_LOG_TAIL_H_
#define VQ_ENGINE_LOG_TAIL_H_

#include <apr_pools.h>

#include <cstddef>
#include <string>

// How much of the log an error report carries, in bytes.
constexpr std::size_t kReportLogTailBytes = 20000;

// The last `limit` bytes of the log taken as one text: the end of the
// previous file `previous` followed by the current file `current`, cut at
// the first NUL byte. When `current` holds `limit` bytes or more, nothing of
// `previous` is used. Missing or unreadable files count as empty. The result
// never exceeds `limit` bytes, even when a file grows while it is read.
std::string readLogTail(const char* current, const char* previous,
                        std::size_t limit, apr_pool_t* pool);

#endif  // VQ_ENGINE_LOG_TAIL_H_
