#ifndef VQ_WEB_APPLE_WEB_DOWNLOAD_H_
#define VQ_WEB_APPLE_WEB_DOWNLOAD_H_

#include <apr_pools.h>

#include <string>

#include "web/apple_web.h"
#include "web/hex_digest.h"
#include "web/temporary_download_file.h"

// Downloads a URL into a new temporary file in the current directory. The
// body is streamed to the file as it arrives, so memory use does not grow
// with the size of the download, and its MD5 digest is computed on the way.
// Neither its size nor its duration is bounded, but a transfer slower than
// vq_bounds::kDownloadLowSpeedBytesPerSecond for the idle limit fails.
//
// After get() returns true the file is complete and closed and belongs to
// the caller (this object never deletes it). When get() raises, no file is
// left behind: a failed transfer (155, 205), a failed write (175) and a
// failure before the transfer (210, 215) all remove it. A failed flush or
// close of a complete download (180, 185) leaves it for the caller to judge.
class AppleWebDownload : public AppleWeb {
 public:
  explicit AppleWebDownload(apr_pool_t* pool);
  AppleWebDownload(apr_pool_t* pool, WebHost host);
  ~AppleWebDownload() override;

  // Creates the temporary file (code 140 when it cannot), then transfers.
  bool get() override;
  void get_completed(bool success) override;

  // The temporary file's name; meaningful once get() has created it.
  char* DownloadFilename() { return file_.name(); }
  // Whether get() digests the body while it streams in (on by default).
  // Callers that digest the file themselves can save the work.
  void setDigestWhileStreaming(bool enabled) { digest_enabled_ = enabled; }
  // The MD5 digest of the bytes written to the file, as 32 lower-case
  // hexadecimal digits; meaningful after a successful get() with digesting
  // on.
  std::string DownloadMd5() const { return digest_.hexDigest(); }
  // Whether get() also computes the SHA-256 digest while the body streams in
  // (off by default: only answers that name one need it).
  void setSha256WhileStreaming(bool enabled) { sha256_enabled_ = enabled; }
  // The SHA-256 digest of the bytes written to the file, as 64 lower-case
  // hexadecimal digits; meaningful after a successful get() with it on.
  std::string DownloadSha256() const { return sha256_.hexDigest(); }

 protected:
  void receiveBody(const char* data, std::size_t size) override;

 private:
  TemporaryDownloadFile file_;
  Md5Digest digest_;
  Sha256Digest sha256_;
  bool completion_called_ = false;
  bool digest_enabled_ = true;
  bool sha256_enabled_ = false;
};

#endif  // VQ_WEB_APPLE_WEB_DOWNLOAD_H_
