#ifndef VQ_VQSERVE_DOWNLOAD_FOLDER_H_
#define VQ_VQSERVE_DOWNLOAD_FOLDER_H_

#include <string>

#include <openssl/evp.h>

namespace vqtools {

// The folder whose files the server hands out. Maps request paths to files
// without ever leaving the folder.
class DownloadFolder {
 public:
  // |root| must name an existing directory; it is made absolute and
  // canonical. Returns false and fills |error| otherwise.
  bool open(const std::string& root, std::string* error);

  bool isOpen() const { return !root_.empty(); }

  // Returns the absolute path of the regular file at |relative| (segments
  // separated by '/'), or an empty string when there is none, when a segment
  // is empty, "." or "..", or when the resolved file (after following
  // symbolic links) lies outside the folder.
  std::string resolve(const std::string& relative) const;

 private:
  std::string root_;  // Canonical, without a trailing slash.
};

// Writes the MD5 digest of the file at |path| as 32 lower-case hexadecimal
// digits to |hex|. Returns false when the file cannot be read.
bool fileMd5Hex(const std::string& path, std::string* hex);
// The same with SHA-256 (64 digits).
bool fileSha256Hex(const std::string& path, std::string* hex);
// The same with any OpenSSL digest.
bool fileDigestHex(const std::string& path, const EVP_MD* algorithm,
                   std::string* hex);

}  // namespace vqtools

#endif  // VQ_VQSERVE_DOWNLOAD_FOLDER_H_
