#ifndef VQ_SUPPORT_APR_FILE_H_
#define VQ_SUPPORT_APR_FILE_H_

#include <apr_file_io.h>
#include <apr_pools.h>

#include <string>

#include "support/apr_exception.h"

namespace apr {

// Owns one open APR file and its name; the destructor closes it when open.
class File {
 public:
  // Opens `name` with APR open flags and permissions, allocating in `pool`.
  // Throws apr::Exception "Opening filename <name>" on failure.
  File(const char* name,
       apr_int32_t flags,
       apr_fileperms_t perms,
       apr_pool_t* pool);
  ~File();

  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to `size` bytes. Returns the number read, 0 at end of file.
  // Throws apr::Exception "Reading from <name>" on any other error.
  unsigned long read(void* buffer, unsigned long size);
  // Writes all `size` bytes. Throws apr::Exception "Writing to <name>".
  void write(const void* buffer, unsigned long size);
  // Flushes buffered output. Throws apr::Exception "Flushing <name>".
  void flush();
  // Closes the file now; later calls do nothing. Throws apr::Exception
  // "Closing <name>" when the close fails.
  void close();

  bool isOpen() const { return file_ != nullptr; }
  const std::string& name() const { return name_; }
  apr_file_t* get() const { return file_; }
  operator apr_file_t*() const { return file_; }  // NOLINT: APR-style use

 private:
  apr_file_t* file_ = nullptr;
  std::string name_;
};

}  // namespace apr

#endif  // VQ_SUPPORT_APR_FILE_H_
