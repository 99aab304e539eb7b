#ifndef VQ_WEB_WEB_DOWNLOAD_H_
#define VQ_WEB_WEB_DOWNLOAD_H_

#include <apr_pools.h>

#include "web/temporary_download_file.h"
#include "web/web.h"

// A download base without a transport: it creates the temporary file and
// offers write_data for a transport that delivers the body in chunks. Its
// own get() transfers nothing and returns false.
class WebDownload : public Web {
 public:
  explicit WebDownload(apr_pool_t* pool);
  ~WebDownload() override;

  // Creates the temporary file (code 140 when it cannot), logs that no
  // transfer is possible and returns false.
  bool get() override;
  void get_completed(bool success) override;

  // Appends size * count bytes to the temporary file. Throws the text
  // "Failed writing to file" when that fails.
  virtual void write_data(void* data, unsigned long size, unsigned long count);

  char* DownloadFilename() { return file_.name(); }

 protected:
  void receiveBody(const char* data, std::size_t size) override;

 private:
  TemporaryDownloadFile file_;
};

#endif  // VQ_WEB_WEB_DOWNLOAD_H_
