#ifndef VQ_WEB_MD5_DIGEST_H_
#define VQ_WEB_MD5_DIGEST_H_

#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <string>

// An MD5 digest (RFC 1321) computed piece by piece, so that a file can be
// digested while it is written or read without holding it in memory.
class Md5Digest {
 public:
  Md5Digest();
  ~Md5Digest();

  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;

  void update(const void* data, std::size_t size);
  // The digest of everything given so far as 32 lower-case hexadecimal
  // digits. The digest can go on being updated afterwards.
  std::string hexDigest() const;
  // Starts again from no bytes.
  void reset();

 private:
  struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, ContextDeleter> context_;
};

#endif  // VQ_WEB_MD5_DIGEST_H_
