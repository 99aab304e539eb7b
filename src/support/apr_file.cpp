#include "support/apr_file.h"

namespace apr {

File::File(const char* name,
           apr_int32_t flags,
           apr_fileperms_t perms,
           apr_pool_t* pool)
    : name_(name ? name : "") {
  const apr_status_t status =
      apr_file_open(&file_, name_.c_str(), flags, perms, pool);
  if (status != APR_SUCCESS) {
    file_ = nullptr;
    throw Exception(status, "Opening filename %s", name_.c_str());
  }
}

File::~File() {
  if (file_ != nullptr)
    apr_file_close(file_);
}

unsigned long File::read(void* buffer, unsigned long size) {
  if (size == 0)
    return 0;
  apr_size_t count = size;
  const apr_status_t status = apr_file_read(file_, buffer, &count);
  if (status == APR_EOF)
    return 0;
  if (status != APR_SUCCESS) {
    throw Exception(status, "Reading from %s", name_.c_str());
  }
  return count;
}

void File::write(const void* buffer, unsigned long size) {
  apr_size_t count = size;
  const apr_status_t status = apr_file_write_full(file_, buffer, count, &count);
  if (status != APR_SUCCESS) {
    throw Exception(status, "Writing to %s", name_.c_str());
  }
}

void File::flush() {
  const apr_status_t status = apr_file_flush(file_);
  if (status != APR_SUCCESS) {
    throw Exception(status, "Flushing %s", name_.c_str());
  }
}

void File::close() {
  if (file_ == nullptr)
    return;
  apr_file_t* file = file_;
  file_ = nullptr;
  const apr_status_t status = apr_file_close(file);
  if (status != APR_SUCCESS) {
    throw Exception(status, "Closing %s", name_.c_str());
  }
}

}  // namespace apr
