#ifndef VQ_WEB_SSL_CRYPTO_H_
#define VQ_WEB_SSL_CRYPTO_H_

#include <apr_pools.h>

#include <string>

#include "support/memory_buffer.h"

// The public half (PKCS#1 PEM, 2048-bit RSA) of the key that update servers
// sign their answers with. Compiled in from the key file chosen when the
// build is configured.
extern const char vqServerClientSigningPublicKey[];

// True when `signatureBase64` (Base64 without line breaks) is an RSA PKCS#1
// v1.5 signature over the SHA-1 digest of the `length` bytes at `data`, made
// with the private key matching vqServerClientSigningPublicKey. Text that is
// not Base64, decodes to the wrong length or does not match gives false;
// never throws.
bool ssl_checkClientSignedHeader(const char* data, unsigned long length,
                                 const char* signatureBase64,
                                 apr_pool_t* pool);

// The same check against the public key `publicKeyPem` ("-----BEGIN RSA
// PUBLIC KEY-----"). A key that does not parse gives false.
bool ssl_checkSignedHeader(const char* publicKeyPem, const char* data,
                           unsigned long length, const char* signatureBase64,
                           apr_pool_t* pool);

// The MD5 digest of the file's bytes as 32 lower-case hexadecimal digits.
// Throws apr::Exception when the file cannot be opened or read.
std::string ssl_md5(const char* path, apr_pool_t* pool);

// Appends the bytes decoded from the Base64 `text` (no line breaks) to
// `out`. Decoding stops at the first text that is not Base64.
void base64Decode(const char* text, MemoryBuffer<unsigned char>& out);

#endif  // VQ_WEB_SSL_CRYPTO_H_
