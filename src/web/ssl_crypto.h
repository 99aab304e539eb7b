#ifndef VQ_WEB_SSL_CRYPTO_H_
#define VQ_WEB_SSL_CRYPTO_H_

#include <apr_pools.h>

#include <string>

#include "support/memory_buffer.h"

// The public halves (PKCS#1 PEM, RSA of at least 2048 bits) of the keys that
// update servers sign their answers with: one "-----BEGIN RSA PUBLIC
// KEY-----" block per key, so that a publisher can rotate keys by shipping
// the new key beside the old one. An answer verifies if any of them signed
// it. Compiled in from the key file chosen when the build is configured.
extern const char vqServerClientSigningPublicKey[];

// True when `signatureBase64` (Base64 without line breaks) is an RSA PKCS#1
// v1.5 signature over the SHA-1 digest of the `length` bytes at `data`, made
// with the private key matching vqServerClientSigningPublicKey. Text that is
// not Base64, decodes to the wrong length or does not match gives false;
// never throws.
bool ssl_checkClientSignedHeader(const char* data, unsigned long length,
                                 const char* signatureBase64,
                                 apr_pool_t* pool);

// The same check against the public keys in `publicKeyPem` (one or more
// "-----BEGIN RSA PUBLIC KEY-----" blocks; true when any of them verifies).
// Blocks that do not parse are skipped; with none that parses, false.
bool ssl_checkSignedHeader(const char* publicKeyPem, const char* data,
                           unsigned long length, const char* signatureBase64,
                           apr_pool_t* pool);

// The second signature of an answer: true when `signatureBase64` is an RSA
// PKCS#1 v1.5 signature over the SHA-256 digest of
// vq_answer::secondSignatureMessage(nonce, body) (web/answer_protocol.h),
// made with the private key of any compiled-in public key. `body` is the
// `length` bytes the first signature covers. A nonce that is not well formed
// gives false; never throws.
bool ssl_checkClientSecondSignature(const std::string& nonce, const char* body,
                                    unsigned long length,
                                    const char* signatureBase64,
                                    apr_pool_t* pool);
// The same against the public keys in `publicKeyPem`.
bool ssl_checkSecondSignature(const char* publicKeyPem,
                              const std::string& nonce, const char* body,
                              unsigned long length,
                              const char* signatureBase64, apr_pool_t* pool);

// The MD5 digest of the file's bytes as 32 lower-case hexadecimal digits.
// Throws apr::Exception when the file cannot be opened or read.
std::string ssl_md5(const char* path, apr_pool_t* pool);

// The SHA-256 digest of the file's bytes as 64 lower-case hexadecimal
// digits. Throws apr::Exception when the file cannot be opened or read.
std::string ssl_sha256(const char* path, apr_pool_t* pool);

// Appends the bytes decoded from the Base64 `text` (no line breaks) to
// `out`. Decoding stops at the first text that is not Base64.
void base64Decode(const char* text, MemoryBuffer<unsigned char>& out);

#endif  // VQ_WEB_SSL_CRYPTO_H_
