#include "vqserve/download_folder.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include <openssl/evp.h>

namespace vqtools {

namespace {

// realpath() of |path|, or empty when it does not resolve.
std::string canonical(const std::string& path) {
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved))
    return std::string();
  return resolved;
}

bool hasUnsafeSegment(const std::string& relative) {
  size_t start = 0;
  while (true) {
    const size_t slash = relative.find('/', start);
    const std::string segment = relative.substr(
        start, slash == std::string::npos ? std::string::npos : slash - start);
    if (segment.empty() || segment == "." || segment == "..")
      return true;
    if (slash == std::string::npos)
      return false;
    start = slash + 1;
  }
}

}  // namespace

bool DownloadFolder::open(const std::string& root, std::string* error) {
  const std::string resolved = canonical(root);
  struct stat info;
  if (resolved.empty() || ::stat(resolved.c_str(), &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    *error = "download folder " + root + " is not a directory";
    return false;
  }
  root_ = resolved == "/" ? std::string() : resolved;
  if (root_.empty()) {
    *error = "refusing to serve the whole file system";
    return false;
  }
  return true;
}

std::string DownloadFolder::resolve(const std::string& relative) const {
  if (!isOpen() || relative.empty() ||
      relative.find('\0') != std::string::npos || hasUnsafeSegment(relative)) {
    return std::string();
  }
  const std::string resolved = canonical(root_ + "/" + relative);
  struct stat info;
  if (resolved.compare(0, root_.size() + 1, root_ + "/") != 0 ||
      ::stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::string();
  }
  return resolved;
}

bool fileMd5Hex(const std::string& path, std::string* hex) {
  return fileDigestHex(path, EVP_md5(), hex);
}

bool fileSha256Hex(const std::string& path, std::string* hex) {
  return fileDigestHex(path, EVP_sha256(), hex);
}

bool fileDigestHex(const std::string& path, const EVP_MD* algorithm,
                   std::string* hex) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) {
    return false;
  }
  char buffer[8192];
  while (in) {
    in.read(buffer, sizeof(buffer));
    if (in.gcount() > 0 &&
        EVP_DigestUpdate(context.get(), buffer,
                         static_cast<size_t>(in.gcount())) != 1) {
      return false;
    }
  }
  if (in.bad())
    return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
    return false;
  hex->clear();
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
    hex->append(pair);
  }
  return true;
}

}  // namespace vqtools
