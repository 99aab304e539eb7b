#include "engine/log_tail.h"

#include "support/apr_exception.h"
#include "support/apr_pool.h"
#include "support/apr_utils.h"
#include "support/memory_buffer.h"

namespace {

// Appends at most the last `maxBytes` of `path`; an unreadable file adds
// nothing.
void appendTail(MemoryBuffer<char>& buffer, const char* path,
                long long maxBytes) {
  const std::size_t before = buffer.size();
  try {
    buffer.readFile(path, maxBytes);
  } catch (const apr::Exception&) {
    // A log that vanished or cannot be read between the checks adds nothing:
    // a report must not fail because of its own attachment.
    while (buffer.size() > before) buffer.popOne();
  }
}

}  // namespace

std::string readLogTail(const char* current, const char* previous,
                        std::size_t limit, apr_pool_t* pool) {
  apr::Pool scratch(pool);
  MemoryBuffer<char> buffer(scratch);
  const long long currentSize = apr_file_size(current, scratch);
  const long long wanted = static_cast<long long>(limit);
  if (currentSize < wanted) appendTail(buffer, previous, wanted - currentSize);
  appendTail(buffer, current, wanted);
  buffer.nullTerminate();

  std::string text(buffer.begin());  // up to the first NUL
  // The current log may have grown since its size was taken; keep the end.
  if (text.size() > limit) text.erase(0, text.size() - limit);
  return text;
}
