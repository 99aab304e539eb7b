#include "web/hex_digest.h"

#include <new>

HexDigest::HexDigest(const EVP_MD* algorithm)
    : algorithm_(algorithm), context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::bad_alloc();
  reset();
}

HexDigest::~HexDigest() = default;

void HexDigest::reset() {
  if (EVP_DigestInit_ex(context_.get(), algorithm_, nullptr) != 1) {
    throw std::bad_alloc();
  }
}

void HexDigest::update(const void* data, std::size_t size) {
  if (size != 0) EVP_DigestUpdate(context_.get(), data, size);
}

std::string HexDigest::hexDigest() const {
  static const char kHex[] = "0123456789abcdef";
  // Finishing a copy leaves this digest open for more data.
  std::unique_ptr<EVP_MD_CTX, ContextDeleter> copy(EVP_MD_CTX_new());
  if (!copy || EVP_MD_CTX_copy_ex(copy.get(), context_.get()) != 1) {
    throw std::bad_alloc();
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(copy.get(), digest, &length);
  std::string text;
  text.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    text.push_back(kHex[digest[i] >> 4]);
    text.push_back(kHex[digest[i] & 0x0f]);
  }
  return text;
}
