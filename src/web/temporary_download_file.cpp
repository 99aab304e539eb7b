#include "web/temporary_download_file.h"

#include <cstdint>
#include <cstdio>

#include "support/apr_status.h"
#include "support/vq_exception.h"

namespace {
constexpr char kSourceFile[] = "temporary_download_file.cpp";
}  // namespace

TemporaryDownloadFile::TemporaryDownloadFile(log4cpp::Category& logger,
                                             apr_pool_t* pool)
    : logger_(logger), pool_(pool) {}

TemporaryDownloadFile::~TemporaryDownloadFile() {
  if (file_ != nullptr) apr_file_close(file_);
}

void TemporaryDownloadFile::create(std::uint32_t urlHash,
                                   std::uint32_t paramsHash) {
  if (file_ != nullptr) apr_file_close(file_);
  file_ = nullptr;
  std::snprintf(name_, sizeof(name_), "tmp_%d_%d_XXXXXX",
                static_cast<std::int32_t>(urlHash),
                static_cast<std::int32_t>(paramsHash));
  const apr_status_t status = apr_file_mktemp(
      &file_, name_, APR_FOPEN_CREATE | APR_FOPEN_WRITE | APR_FOPEN_BINARY,
      pool_);
  if (status != APR_SUCCESS) {
    file_ = nullptr;
    logApr(log4cpp::Priority::ERROR, logger_, status,
           "Failed to create temporary file in WebDownload::get (%s:%d)",
           kSourceFile, __LINE__);
    throw VqException(VqException::ZONE_CLIENT, VqException::SEVERITY_MEDIUM,
                      kErrTempFileCreate, status,
                      "Failed creation of temporary file (%s:%d)", kSourceFile,
                      __LINE__);
  }
  if (logger_.isDebugEnabled()) {
    logger_.debugStream() << "Writing download file to temporary " << name_;
  }
}

void TemporaryDownloadFile::write(const char* data, std::size_t size,
                                  const std::string& url) {
  const apr_status_t status =
      file_ == nullptr ? APR_EBADF
                       : apr_file_write_full(file_, data, size, nullptr);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, logger_, status,
           "Failed to write file %s with data (size=%ld)", name_,
           static_cast<long>(size));
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_MEDIUM, kErrTempFileWrite,
                      "Failed writing temporary file %s (%s:%d)", name_,
                      kSourceFile, __LINE__);
  }
}

void TemporaryDownloadFile::complete(const std::string& url) {
  const apr_status_t status =
      file_ == nullptr ? APR_EBADF : apr_file_flush(file_);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, logger_, status, "Failed to flush file %s",
           name_);
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_MEDIUM, kErrTempFileFlush,
                      "Failed flushing temporary file %s (%s:%d)", name_,
                      kSourceFile, __LINE__);
  }
  close(url);
}

void TemporaryDownloadFile::discard(const std::string& url) {
  if (file_ != nullptr) {
    try {
      close(url);
    } catch (...) {
      // The file goes whatever the close said; then the failure is told.
      apr_file_remove(name_, pool_);
      throw;
    }
  }
  const apr_status_t status = apr_file_remove(name_, pool_);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::WARN, logger_, status,
           "Failed to remove temporary web file %s (%s:%d)", name_,
           kSourceFile, __LINE__);
  }
}

void TemporaryDownloadFile::close(const std::string& url) {
  apr_file_t* file = file_;
  file_ = nullptr;
  const apr_status_t status = apr_file_close(file);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, logger_, status, "Failed to close file %s",
           name_);
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_MEDIUM, kErrTempFileClose,
                      "Failed closing temporary file %s (%s:%d)", name_,
                      kSourceFile, __LINE__);
  }
}
