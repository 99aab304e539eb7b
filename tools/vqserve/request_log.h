#ifndef VQ_VQSERVE_REQUEST_LOG_H_
#define VQ_VQSERVE_REQUEST_LOG_H_

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "vqserve/form_params.h"

namespace vqtools {

// What the server records of one request.
struct RequestRecord {
  std::string page;    // last segment of the path, e.g. "vq.php"
  std::string method;  // e.g. "POST"
  std::string uri;     // decoded path, e.g. "/vq.php"
  int status = 0;      // HTTP status of the answer
  FormParams params;   // query parameters, then form-body parameters
};

// One JSON object per line:
//   {"page":"vq.php","method":"POST","uri":"/vq.php","status":200,
//    "params":[["feedId","7"],["build","12"]]}
// Parameters are [name, value] pairs so that order and repeated names
// survive. Each line is flushed before write() returns, so a reader that
// has received the answer to a request finds its line in the file.
// Thread-safe.
class RequestLog {
 public:
  // Opens |path| for appending. Returns null and fills |error| on failure.
  static std::unique_ptr<RequestLog> open(const std::string& path,
                                          std::string* error);

  void write(const RequestRecord& record);

  // The line write() appends for |record|, without the newline.
  static std::string format(const RequestRecord& record);

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  explicit RequestLog(std::FILE* file) : file_(file) {}

  std::mutex mutex_;
  std::unique_ptr<std::FILE, FileCloser> file_;  // Guarded by mutex_.
};

}  // namespace vqtools

#endif  // VQ_VQSERVE_REQUEST_LOG_H_
