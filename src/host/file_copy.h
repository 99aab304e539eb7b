#ifndef VQ_HOST_FILE_COPY_H_
#define VQ_HOST_FILE_COPY_H_

#include <sys/types.h>

#include <string>

namespace host {

// Makes `to` a copy of the regular file `from`, created with `mode` (less the
// umask) or, when `mode` is kSourceMode, with the source's permission bits;
// an existing `to` is truncated and rewritten. Where the file system allows
// it the copy shares the source's blocks copy-on-write (a reflink), else the
// kernel copies in place (copy_file_range), else the data is read and
// written. Either way the copy is independent: a later write to one file
// never shows in the other. Nothing is flushed. Returns 0 or the errno
// value of the failing step; a failed copy may leave `to` partly written.
constexpr mode_t kSourceMode = static_cast<mode_t>(-1);
int copyFile(const std::string& from, const std::string& to, mode_t mode);

}  // namespace host

#endif  // VQ_HOST_FILE_COPY_H_
