#include "web/ssl_crypto.h"

#include <log4cpp/Category.hh>
#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include "support/apr_file.h"
#include "support/apr_pool.h"
#include "web/md5_digest.h"

namespace {

constexpr int kDecodeChunk = 4192;
// Large reads: on hosts where system calls are dear, small ones cost more
// than the digest itself.
constexpr unsigned long kFileChunk = 256 * 1024;

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free_all(bio); }
};
struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DecoderDeleter {
  void operator()(OSSL_DECODER_CTX* context) const {
    OSSL_DECODER_CTX_free(context);
  }
};
struct DigestContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Reads a PKCS#1 "RSA PUBLIC KEY" PEM.
std::unique_ptr<EVP_PKEY, KeyDeleter> readPublicKey(const char* pem) {
  EVP_PKEY* key = nullptr;
  std::unique_ptr<OSSL_DECODER_CTX, DecoderDeleter> decoder(
      OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", "type-specific", "RSA",
                                    EVP_PKEY_PUBLIC_KEY, nullptr, nullptr));
  if (!decoder) return nullptr;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(pem);
  size_t length = std::strlen(pem);
  if (OSSL_DECODER_from_data(decoder.get(), &data, &length) != 1) {
    EVP_PKEY_free(key);
    return nullptr;
  }
  return std::unique_ptr<EVP_PKEY, KeyDeleter>(key);
}

}  // namespace

bool ssl_checkClientSignedHeader(const char* data, unsigned long length,
                                 const char* signatureBase64,
                                 apr_pool_t* pool) {
  return ssl_checkSignedHeader(vqServerClientSigningPublicKey, data, length,
                               signatureBase64, pool);
}

bool ssl_checkSignedHeader(const char* publicKeyPem, const char* data,
                           unsigned long length, const char* signatureBase64,
                           apr_pool_t* pool) {
  log4cpp::Category& logger = log4cpp::Category::getInstance("ssl.checksig");
  if (publicKeyPem == nullptr || signatureBase64 == nullptr ||
      (data == nullptr && length != 0)) {
    return false;
  }
  // The compiled-in key is checked when the build is configured, so this
  // only fails for a key handed in by a caller; refusing every signature is
  // the safe answer.
  std::unique_ptr<EVP_PKEY, KeyDeleter> key = readPublicKey(publicKeyPem);
  if (!key) {
    logger.error("The signing public key does not parse");
    return false;
  }

  MemoryBuffer<unsigned char> signature(pool);
  base64Decode(signatureBase64, signature);
  // RSA verification accepts only a signature exactly as long as the key.
  if (signature.size() != static_cast<std::size_t>(EVP_PKEY_get_size(key.get()))) {
    logger.info("Signature has the wrong length");
    return false;
  }

  std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
  if (!context ||
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha1(), nullptr,
                           key.get()) != 1) {
    logger.error("Signature verification could not be set up");
    return false;
  }
  static const unsigned char kNothing = 0;
  const unsigned char* bytes =
      length == 0 ? &kNothing : reinterpret_cast<const unsigned char*>(data);
  const int verdict = EVP_DigestVerify(context.get(), signature.begin(),
                                       signature.size(), bytes, length);
  return verdict == 1;
}

std::string ssl_md5(const char* path, apr_pool_t* pool) {
  // A private sub-pool, so that digesting many files does not grow `pool`.
  apr::Pool scratch(pool);
  apr::File file(path, APR_FOPEN_READ | APR_FOPEN_BINARY, APR_OS_DEFAULT,
                 scratch);
  Md5Digest digest;
  std::unique_ptr<unsigned char[]> chunk(new unsigned char[kFileChunk]);
  for (;;) {
    const unsigned long got = file.read(chunk.get(), kFileChunk);
    if (got == 0) break;
    digest.update(chunk.get(), got);
  }
  return digest.hexDigest();
}

void base64Decode(const char* text, MemoryBuffer<unsigned char>& out) {
  if (text == nullptr || *text == '\0') return;
  BIO* source = BIO_new_mem_buf(text, -1);
  BIO* filter = BIO_new(BIO_f_base64());
  if (source == nullptr || filter == nullptr) {
    BIO_free(source);
    BIO_free(filter);
    return;
  }
  BIO_set_flags(filter, BIO_FLAGS_BASE64_NO_NL);
  std::unique_ptr<BIO, BioDeleter> chain(BIO_push(filter, source));
  unsigned char chunk[kDecodeChunk];
  for (;;) {
    const int got = BIO_read(chain.get(), chunk, sizeof(chunk));
    if (got <= 0) break;
    out.append(chunk, static_cast<unsigned long>(got));
  }
}
