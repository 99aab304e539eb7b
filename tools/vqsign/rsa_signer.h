#ifndef VQ_VQSIGN_RSA_SIGNER_H_
#define VQ_VQSIGN_RSA_SIGNER_H_

#include <memory>
#include <string>

#include <openssl/evp.h>

namespace vqtools {

// Signs byte strings with an RSA private key the way the agent checks
// answers: RSA PKCS#1 v1.5 over the SHA-1 digest of the bytes, rendered as
// one line of standard Base64 (no line breaks). Immutable once loaded, so
// one signer may be shared by several threads.
class RsaSigner {
 public:
  // Loads a PEM private key ("RSA PRIVATE KEY" or "PRIVATE KEY", not
  // encrypted). Returns null and fills |error| when the file cannot be read,
  // holds no private key, or the key is not RSA.
  static std::unique_ptr<RsaSigner> fromPemFile(const std::string& path,
                                                std::string* error);
  // Same as fromPemFile, for PEM text held in memory.
  static std::unique_ptr<RsaSigner> fromPemText(const std::string& pem,
                                                std::string* error);

  // Returns the Base64 signature of |data|. Throws std::runtime_error if
  // OpenSSL fails to sign (it does not for a loaded key).
  std::string signBase64(const std::string& data) const;

  // The raw signature bytes of |data| (key size bytes long).
  std::string sign(const std::string& data) const;

  // The same over the SHA-256 digest of |data|, as the second signature
  // ("xxx-vq-sig2") is made.
  std::string signSha256Base64(const std::string& data) const;

  // The public half in the PKCS#1 "RSA PUBLIC KEY" PEM form that the agent
  // embeds, ending in a newline.
  std::string publicKeyPkcs1Pem() const;

  // Key size in bits.
  int bits() const;

 private:
  struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  };
  using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;

  explicit RsaSigner(KeyPtr key);
  std::string signWith(const EVP_MD* digest, const std::string& data) const;

  KeyPtr key_;
};

// Standard Base64 (RFC 4648 alphabet, '=' padding) of |bytes| on one line.
std::string base64Encode(const std::string& bytes);

}  // namespace vqtools

#endif  // VQ_VQSIGN_RSA_SIGNER_H_
