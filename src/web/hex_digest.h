#ifndef VQ_WEB_HEX_DIGEST_H_
#define VQ_WEB_HEX_DIGEST_H_

#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <string>

// A message digest computed piece by piece, so that a file can be digested
// while it is written or read without holding it in memory.
class HexDigest {
 public:
  // `algorithm` is an OpenSSL digest such as EVP_md5() or EVP_sha256().
  explicit HexDigest(const EVP_MD* algorithm);
  ~HexDigest();

  HexDigest(const HexDigest&) = delete;
  HexDigest& operator=(const HexDigest&) = delete;

  void update(const void* data, std::size_t size);
  // The digest of everything given so far as lower-case hexadecimal digits
  // (two per byte). The digest can go on being updated afterwards.
  std::string hexDigest() const;
  // Starts again from no bytes.
  void reset();

 private:
  struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  const EVP_MD* algorithm_;
  std::unique_ptr<EVP_MD_CTX, ContextDeleter> context_;
};

// MD5 (RFC 1321): 32 hexadecimal digits.
class Md5Digest : public HexDigest {
 public:
  Md5Digest() : HexDigest(EVP_md5()) {}
};

// SHA-256 (FIPS 180-4): 64 hexadecimal digits.
class Sha256Digest : public HexDigest {
 public:
  Sha256Digest() : HexDigest(EVP_sha256()) {}
};

#endif  // VQ_WEB_HEX_DIGEST_H_
