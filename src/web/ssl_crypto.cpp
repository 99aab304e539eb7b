#include "web/ssl_crypto.h"

#include <log4cpp/Category.hh>
#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "support/apr_file.h"
#include "support/apr_pool.h"
#include "web/answer_protocol.h"
#include "web/hex_digest.h"

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

using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using KeyList = std::vector<KeyPtr>;

constexpr char kPemBegin[] = "-----BEGIN RSA PUBLIC KEY-----";
constexpr char kPemEnd[] = "-----END RSA PUBLIC KEY-----";

// Reads one PKCS#1 "RSA PUBLIC KEY" PEM block.
KeyPtr readPublicKey(const char* pem, size_t length) {
  EVP_PKEY* key = nullptr;
  std::unique_ptr<OSSL_DECODER_CTX, DecoderDeleter> decoder(
      OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", "type-specific", "RSA",
                                    EVP_PKEY_PUBLIC_KEY, nullptr, nullptr));
  if (!decoder) return nullptr;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(pem);
  if (OSSL_DECODER_from_data(decoder.get(), &data, &length) != 1) {
    EVP_PKEY_free(key);
    return nullptr;
  }
  return KeyPtr(key);
}

// Every "RSA PUBLIC KEY" block of `pem` that parses, in order.
KeyList readPublicKeys(const char* pem) {
  KeyList keys;
  const std::string_view text(pem);
  size_t at = 0;
  for (;;) {
    const size_t begin = text.find(kPemBegin, at);
    if (begin == std::string_view::npos) break;
    const size_t end = text.find(kPemEnd, begin);
    if (end == std::string_view::npos) break;
    at = end + sizeof(kPemEnd) - 1;
    const std::string block(text.substr(begin, at - begin));
    KeyPtr key = readPublicKey(block.c_str(), block.size());
    if (key) keys.push_back(std::move(key));
  }
  return keys;
}

// The compiled-in keys, parsed once: they never change while the process
// runs, and parsing costs more than a verification. Read-only afterwards,
// so several threads may verify with them at once.
const KeyList& compiledKeys() {
  static const KeyList keys = readPublicKeys(vqServerClientSigningPublicKey);
  return keys;
}

// True when the Base64 `signatureBase64` is an RSA PKCS#1 v1.5 signature
// over the `digest` of the `length` bytes at `data` by any of `keys`.
bool verifyWithAnyKey(const KeyList& keys, const EVP_MD* digest,
                      const char* data, unsigned long length,
                      const char* signatureBase64, apr_pool_t* pool) {
  log4cpp::Category& logger = log4cpp::Category::getInstance("ssl.checksig");
  if (signatureBase64 == nullptr || (data == nullptr && length != 0)) {
    return false;
  }
  // The compiled-in keys are checked when the build is configured, so this
  // only happens for keys handed in by a caller; refusing every signature
  // is the safe answer.
  if (keys.empty()) {
    logger.error("The signing public key does not parse");
    return false;
  }
  MemoryBuffer<unsigned char> signature(pool);
  base64Decode(signatureBase64, signature);
  static const unsigned char kNothing = 0;
  const unsigned char* bytes =
      length == 0 ? &kNothing : reinterpret_cast<const unsigned char*>(data);
  bool lengthFits = false;
  for (const KeyPtr& key : keys) {
    // RSA verification accepts only a signature exactly as long as the key.
    if (signature.size() !=
        static_cast<std::size_t>(EVP_PKEY_get_size(key.get()))) {
      continue;
    }
    lengthFits = true;
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, digest,
                                         nullptr, key.get()) != 1) {
      logger.error("Signature verification could not be set up");
      continue;
    }
    if (EVP_DigestVerify(context.get(), signature.begin(), signature.size(),
                         bytes, length) == 1) {
      return true;
    }
  }
  if (!lengthFits) logger.info("Signature has the wrong length");
  // Failed verifications leave entries on OpenSSL's per-thread error queue;
  // they would only confuse a later, unrelated error report.
  ERR_clear_error();
  return false;
}

bool checkSecondSignature(const KeyList& keys, const std::string& nonce,
                          const char* body, unsigned long length,
                          const char* signatureBase64, apr_pool_t* pool) {
  if (!vq_answer::isWellFormedNonce(nonce) ||
      (body == nullptr && length != 0)) {
    return false;
  }
  const std::string message = vq_answer::secondSignatureMessage(
      nonce, std::string_view(body == nullptr ? "" : body, length));
  return verifyWithAnyKey(keys, EVP_sha256(), message.data(), message.size(),
                          signatureBase64, pool);
}

// The digest of a file's bytes, read in large chunks.
std::string fileDigest(HexDigest& digest, const char* path, apr_pool_t* pool) {
  // A private sub-pool, so that digesting many files does not grow `pool`.
  apr::Pool scratch(pool);
  apr::File file(path, APR_FOPEN_READ | APR_FOPEN_BINARY, APR_OS_DEFAULT,
                 scratch);
  std::unique_ptr<unsigned char[]> chunk(new unsigned char[kFileChunk]);
  for (;;) {
    const unsigned long got = file.read(chunk.get(), kFileChunk);
    if (got == 0) break;
    digest.update(chunk.get(), got);
  }
  return digest.hexDigest();
}

}  // namespace

bool ssl_checkClientSignedHeader(const char* data, unsigned long length,
                                 const char* signatureBase64,
                                 apr_pool_t* pool) {
  return verifyWithAnyKey(compiledKeys(), EVP_sha1(), data, length,
                          signatureBase64, pool);
}

bool ssl_checkSignedHeader(const char* publicKeyPem, const char* data,
                           unsigned long length, const char* signatureBase64,
                           apr_pool_t* pool) {
  if (publicKeyPem == nullptr) return false;
  return verifyWithAnyKey(readPublicKeys(publicKeyPem), EVP_sha1(), data,
                          length, signatureBase64, pool);
}

bool ssl_checkClientSecondSignature(const std::string& nonce, const char* body,
                                    unsigned long length,
                                    const char* signatureBase64,
                                    apr_pool_t* pool) {
  return checkSecondSignature(compiledKeys(), nonce, body, length,
                              signatureBase64, pool);
}

bool ssl_checkSecondSignature(const char* publicKeyPem,
                              const std::string& nonce, const char* body,
                              unsigned long length,
                              const char* signatureBase64, apr_pool_t* pool) {
  if (publicKeyPem == nullptr) return false;
  return checkSecondSignature(readPublicKeys(publicKeyPem), nonce, body,
                              length, signatureBase64, pool);
}

std::string ssl_sha256(const char* path, apr_pool_t* pool) {
  Sha256Digest digest;
  return fileDigest(digest, path, pool);
}

std::string ssl_md5(const char* path, apr_pool_t* pool) {
  Md5Digest digest;
  return fileDigest(digest, path, pool);
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
