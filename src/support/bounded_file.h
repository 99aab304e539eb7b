#ifndef VQ_SUPPORT_BOUNDED_FILE_H_
#define VQ_SUPPORT_BOUNDED_FILE_H_

#include <cstddef>
#include <string>

namespace vq_support {

enum class FileReadStatus {
  kRead,        // the whole file is in `contents`
  kMissing,     // no such file (or a dangling link)
  kDirectory,   // a directory: not opened for reading
  kNotRegular,  // a FIFO, device or socket: never read
  kTooLarge,    // more than `maxBytes` bytes: nothing kept
  kFailed,      // could not be opened or read
};

// Whether a symbolic link at `path` itself is followed or refused (read as
// kFailed, atomically with the open).
enum class SymbolicLinks { kFollow, kRefuse };

// Reads the regular file at `path` whole, at most `maxBytes` bytes, into
// `contents` (replaced). The file is opened without blocking and without
// becoming a controlling terminal, and its type is checked on the opened
// descriptor, so neither a FIFO (which would block the open), a device
// (/dev/zero never ends) nor a file swapped in after a check is read. A
// file that grows past `maxBytes` while it is read counts as too large.
// `why`, when not null, receives a human-readable reason for any status
// but kRead. Never throws except std::bad_alloc.
FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes,
                               std::string* contents, std::string* why,
                               SymbolicLinks links = SymbolicLinks::kFollow);

// Turns "\r\n" and lone "\r" into "\n", as TinyXML's own file loading does
// before it parses.
void normalizeLineEnds(std::string& text);

}  // namespace vq_support

#endif  // VQ_SUPPORT_BOUNDED_FILE_H_
