#ifndef VQ_WEB_TEMPORARY_DOWNLOAD_FILE_H_
#define VQ_WEB_TEMPORARY_DOWNLOAD_FILE_H_

#include <apr_file_io.h>
#include <apr_pools.h>
#include <log4cpp/Category.hh>

#include <cstddef>
#include <string>

// The file a download is streamed into: created in the current directory as
// "tmp_<URL hash>_<parameter hash>_XXXXXX" (the X replaced to make the name
// unique), written piece by piece, then either completed or removed. Every
// failure is a VqException with zone 0 and severity 1.
class TemporaryDownloadFile {
 public:
  TemporaryDownloadFile(log4cpp::Category& logger, apr_pool_t* pool);
  // Closes a file still open; never removes it.
  ~TemporaryDownloadFile();

  TemporaryDownloadFile(const TemporaryDownloadFile&) = delete;
  TemporaryDownloadFile& operator=(const TemporaryDownloadFile&) = delete;

  // Creates and opens the file. Code 140 on failure.
  void create(std::uint32_t urlHash, std::uint32_t paramsHash);
  // Appends bytes. Code 175 on failure.
  void write(const char* data, std::size_t size, const std::string& url);
  // Flushes (code 180) and closes (code 185) a complete download.
  void complete(const std::string& url);
  // Closes (code 185 when that fails) and removes the file; a failure to
  // remove is only logged.
  void discard(const std::string& url);

  bool isOpen() const { return file_ != nullptr; }
  // The file's name once created; empty before.
  char* name() { return name_; }
  const char* name() const { return name_; }

 private:
  void close(const std::string& url);

  log4cpp::Category& logger_;
  apr_pool_t* pool_;
  apr_file_t* file_ = nullptr;
  // "tmp_" + two signed 32-bit decimals + "_XXXXXX" needs at most 35 bytes.
  char name_[64] = {0};
};

#endif  // VQ_WEB_TEMPORARY_DOWNLOAD_FILE_H_
