#include "vqsign/rsa_signer.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <openssl/bio.h>
#include <openssl/encoder.h>
#include <openssl/err.h>
#include <openssl/pem.h>

namespace vqtools {

namespace {

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioDeleter>;

struct MdContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContextPtr = std::unique_ptr<EVP_MD_CTX, MdContextDeleter>;

struct EncoderContextDeleter {
  void operator()(OSSL_ENCODER_CTX* context) const {
    OSSL_ENCODER_CTX_free(context);
  }
};
using EncoderContextPtr =
    std::unique_ptr<OSSL_ENCODER_CTX, EncoderContextDeleter>;

// The most recent OpenSSL error of this thread as text, clearing the queue.
std::string takeOpenSslError() {
  unsigned long code = ERR_peek_last_error();
  std::string text = "unknown OpenSSL error";
  if (code != 0) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof(buffer));
    text = buffer;
  }
  ERR_clear_error();
  return text;
}

// Never prompts: an encrypted key fails to load instead of blocking on a
// terminal that a tool run by a test does not have.
int refusePassphrase(char*, int, int, void*) {
  return -1;
}

}  // namespace

std::unique_ptr<RsaSigner> RsaSigner::fromPemFile(const std::string& path,
                                                  std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open key file " + path;
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = "cannot read key file " + path;
    return nullptr;
  }
  std::unique_ptr<RsaSigner> signer = fromPemText(text.str(), error);
  if (!signer)
    *error = path + ": " + *error;
  return signer;
}

std::unique_ptr<RsaSigner> RsaSigner::fromPemText(const std::string& pem,
                                                  std::string* error) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) {
    *error = takeOpenSslError();
    return nullptr;
  }
  KeyPtr key(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, refusePassphrase, nullptr));
  if (!key) {
    *error = "no usable PEM private key (" + takeOpenSslError() + ")";
    return nullptr;
  }
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    *error = "the private key is not an RSA key";
    return nullptr;
  }
  return std::unique_ptr<RsaSigner>(new RsaSigner(std::move(key)));
}

RsaSigner::RsaSigner(KeyPtr key) : key_(std::move(key)) {}

std::string RsaSigner::sign(const std::string& data) const {
  return signWith(EVP_sha1(), data);
}

std::string RsaSigner::signSha256Base64(const std::string& data) const {
  return base64Encode(signWith(EVP_sha256(), data));
}

std::string RsaSigner::signWith(const EVP_MD* digest,
                                const std::string& data) const {
  MdContextPtr context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* key_context = nullptr;  // Owned by |context|.
  if (!context ||
      EVP_DigestSignInit(context.get(), &key_context, digest, nullptr,
                         key_.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PADDING) != 1) {
    throw std::runtime_error("signing set-up failed: " + takeOpenSslError());
  }
  size_t length = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  if (EVP_DigestSign(context.get(), nullptr, &length, bytes, data.size()) !=
      1) {
    throw std::runtime_error("signing failed: " + takeOpenSslError());
  }
  std::string signature(length, '\0');
  if (EVP_DigestSign(context.get(),
                     reinterpret_cast<unsigned char*>(&signature[0]), &length,
                     bytes, data.size()) != 1) {
    throw std::runtime_error("signing failed: " + takeOpenSslError());
  }
  signature.resize(length);
  return signature;
}

std::string RsaSigner::signBase64(const std::string& data) const {
  return base64Encode(sign(data));
}

std::string RsaSigner::publicKeyPkcs1Pem() const {
  // "type-specific" selects the PKCS#1 RSAPublicKey structure, whose PEM
  // marker is "RSA PUBLIC KEY".
  EncoderContextPtr encoder(OSSL_ENCODER_CTX_new_for_pkey(
      key_.get(), EVP_PKEY_PUBLIC_KEY, "PEM", "type-specific", nullptr));
  unsigned char* data = nullptr;
  size_t length = 0;
  if (!encoder || OSSL_ENCODER_CTX_get_num_encoders(encoder.get()) == 0 ||
      OSSL_ENCODER_to_data(encoder.get(), &data, &length) != 1) {
    throw std::runtime_error("public key export failed: " + takeOpenSslError());
  }
  std::string pem(reinterpret_cast<const char*>(data), length);
  OPENSSL_free(data);
  return pem;
}

int RsaSigner::bits() const {
  return EVP_PKEY_get_bits(key_.get());
}

std::string base64Encode(const std::string& bytes) {
  // EVP_EncodeBlock writes 4 characters per started 3 bytes and a NUL.
  std::vector<unsigned char> text(4 * ((bytes.size() + 2) / 3) + 1);
  int length = EVP_EncodeBlock(
      text.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()));
  return std::string(reinterpret_cast<const char*>(text.data()),
                     static_cast<size_t>(length));
}

}  // namespace vqtools
