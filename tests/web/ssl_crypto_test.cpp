#include "web/ssl_crypto.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "support/apr_exception.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "web/answer_protocol.h"

namespace {

using vq_testing::ReadFile;
using vq_testing::WriteFile;

const char kBrokenKey[] = "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n";

// Keys and signatures come from the openssl command line, never from the code under test.
class CryptoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, std::system(("cd " + dir_.path() + " && for k in key:2048 other:3072 small:1024;"
                              " do openssl genrsa -out ${k%:*}.pem ${k#*:} && openssl rsa -in"
                              " ${k%:*}.pem -RSAPublicKey_out -out ${k%:*}.pub || exit 1;"
                              " done 2>/dev/null").c_str()));
    public_key_ = ReadFile(dir_.Append("key.pub"));
  }
  // The Base64 signature of `body` by the private key `key` (a file in the directory, or a path).
  static std::string Sign(const std::string& body, const std::string& key = "key.pem",
                          const std::string& digest = "sha1") {
    WriteFile(dir_.Append("body"), body);
    EXPECT_EQ(0, std::system(("cd " + dir_.path() + " && openssl dgst -" + digest + " -sign '" +
                              key + "' body | openssl base64 -A > sig").c_str()));
    return ReadFile(dir_.Append("sig"));
  }
  bool Check(const std::string& body, const char* signature,
             const std::string& key = public_key_) {
    return ssl_checkSignedHeader(key.c_str(), body.data(), body.size(), signature, pool_);
  }
  // The second signature as a publisher makes it with the openssl command, over the bytes the
  // protocol documents: "vq-answer-sig2" LF nonce LF body.
  static std::string SignSecond(const std::string& nonce, const std::string& body,
                                const std::string& key = "key.pem") {
    return Sign("vq-answer-sig2\n" + nonce + "\n" + body, key, "sha256");
  }
  bool CheckSecond(const std::string& nonce, const std::string& body,
                   const std::string& signature, const std::string& key = public_key_) {
    return ssl_checkSecondSignature(key.c_str(), nonce, body.data(), body.size(),
                                    signature.c_str(), pool_);
  }

  static inline vq_testing::ScopedTempDir dir_;
  static inline std::string public_key_;
  apr::Pool pool_;
};

TEST_F(CryptoTest, OnlyAWellFormedSignatureOverTheExactBodyByTheKeyVerifies) {
  const std::string body = "<vq version=\"1\"><transaction/></vq>\n";
  const std::string signature = Sign(body);
  EXPECT_TRUE(Check(body, signature.c_str()));
  EXPECT_TRUE(Check("", Sign("").c_str()));
  EXPECT_FALSE(Check(body + " ", signature.c_str()));
  // A key that does not parse refuses everything.
  EXPECT_FALSE(Check(body, signature.c_str(), "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n"));
  std::string flipped = signature;
  flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
  for (const std::string& bad : {std::string(), signature.substr(0, 200),
                                 std::string("!!!! not base64 at all ????"),
                                 signature + signature, flipped})
    EXPECT_FALSE(Check(body, bad.c_str())) << bad;
  EXPECT_FALSE(Check(body, nullptr));
}

TEST_F(CryptoTest, SecondSignatureBindsTheNonceAndTheBodyWithSha256) {
  const std::string body = "<vq version=\"2.0\"><transaction/></vq>";
  const std::string nonce = "00112233445566778899aabbccddeeff";
  const std::string upper = "00112233445566778899AABBCCDDEEFF";
  const std::string signature = SignSecond(nonce, body);
  EXPECT_TRUE(CheckSecond(nonce, body, signature));
  EXPECT_TRUE(CheckSecond(nonce, "", SignSecond(nonce, "")));
  const struct { const char* why; std::string nonce, body, signature; } refused[] = {
      {"a recorded answer to another request", "ffeeddccbbaa99887766554433221100", body,
       signature},
      {"a signature over another body", nonce, body + " ", signature},
      {"another body signed for the nonce", nonce, body, SignSecond(nonce, "<vq/>")},
      {"the first signature in its place", nonce, body, Sign(body)},
      {"SHA-1 over the second message", nonce, body,
       Sign("vq-answer-sig2\n" + nonce + "\n" + body)},
      {"no domain", nonce, body, Sign(nonce + "\n" + body, "key.pem", "sha256")},
      {"another key", nonce, body, SignSecond(nonce, body, "other.pem")},
      {"upper-case nonce", upper, body, SignSecond(upper, body)},
      {"short nonce", "0011", body, SignSecond("0011", body)},
      {"empty signature", nonce, body, ""},
  };
  for (const auto& c : refused) EXPECT_FALSE(CheckSecond(c.nonce, c.body, c.signature)) << c.why;
}

TEST_F(CryptoTest, AnyOfSeveralKeysVerifiesAndBadBlocksAreSkipped) {
  const std::string both = public_key_ + ReadFile(dir_.Append("other.pub"));
  const std::string body = "<vq version=\"2.0\"/>", nonce(32, 'a');
  const std::string byOther = Sign(body, "other.pem");
  // Signed by the second of two keys.
  EXPECT_TRUE(Check(body, byOther.c_str(), both));
  EXPECT_TRUE(Check(body, Sign(body).c_str(), both));
  EXPECT_TRUE(CheckSecond(nonce, body, SignSecond(nonce, body, "other.pem"), both));
  EXPECT_FALSE(Check(body, byOther.c_str()));
  // A broken block before a good one does not hide it.
  EXPECT_TRUE(Check(body, byOther.c_str(), kBrokenKey + both));
  EXPECT_FALSE(Check(body, byOther.c_str(), kBrokenKey));
  EXPECT_FALSE(Check(body, byOther.c_str(), ""));
}

TEST(AnswerProtocolTest, ExpiryTimesReadOnlyInTheirOneForm) {
  const std::pair<const char*, std::int64_t> good[] = {
      {"1970-01-01T00:00:00Z", 0}, {"2000-02-29T12:34:56Z", 951827696},
      {"2026-12-31T23:59:59Z", 1798761599}, {"2106-02-07T06:28:16Z", 4294967296LL}};
  for (const auto& [text, expected] : good) {
    std::int64_t seconds = -1;
    EXPECT_TRUE(vq_answer::parseExpiry(text, &seconds)) << text;
    EXPECT_EQ(expected, seconds) << text;
    EXPECT_EQ(text, vq_answer::formatExpiry(expected));
  }
  for (const char* bad :
       {"", "2026-12-31", "2026-12-31T23:59:59", "2026-12-31T23:59:59+00:00",
        "2026-12-31 23:59:59Z", "2026-13-01T00:00:00Z", "2026-02-29T00:00:00Z",
        "2026-12-31T24:00:00Z", "2026-12-31T23:60:00Z", "2026-12-31T23:59:59Zx",
        "+026-12-31T23:59:59Z", "1798761599"}) {
    std::int64_t seconds = 0;
    EXPECT_FALSE(vq_answer::parseExpiry(bad, &seconds)) << bad;
  }
}

TEST_F(CryptoTest, CompiledInKeyIsTheConfiguredOne) {
  EXPECT_EQ(ReadFile(VQ_COMPILED_PUBLIC_KEY), std::string(vqServerClientSigningPublicKey));
  if (std::string(VQ_COMPILED_PUBLIC_KEY) != VQ_DEMO_PUBLIC_KEY)
    GTEST_SKIP() << "built with another key than the demo pair";
  const std::string body = "<vq version=\"1\"/>";
  EXPECT_TRUE(ssl_checkClientSignedHeader(body.data(), body.size(),
                                          Sign(body, VQ_DEMO_PRIVATE_KEY).c_str(), pool_));
  EXPECT_FALSE(ssl_checkClientSignedHeader(body.data(), body.size(), Sign(body).c_str(), pool_));
}

// The configure-time check of the compiled-in public keys file, run as the CMake script the build
// includes: one or several usable keys pass, anything else stops with a clear message.
TEST_F(CryptoTest, PublicKeysFileCheckAcceptsOnlyUsableKeys) {
  const auto check = [](const std::string& text) {  // exit status, output
    WriteFile(dir_.Append("keys.pem"), text);
    const int status = std::system(
        ("cd " + dir_.path() + " && '" VQ_CMAKE_COMMAND "' -DKEY_FILE=keys.pem -DOPENSSL=openssl"
         " -P '" VQ_PUBLIC_KEYS_SCRIPT "' > out 2>&1").c_str());
    // CMake wraps its messages; one blank between words makes them searchable.
    std::string out;
    for (char c : ReadFile(dir_.Append("out"))) {
      const bool blank = c == ' ' || c == '\n';
      if (!blank || (!out.empty() && out.back() != ' ')) out.push_back(blank ? ' ' : c);
    }
    return std::pair<int, std::string>{status, out};
  };
  const auto key = [](const std::string& name) { return ReadFile(dir_.Append(name)); };
  EXPECT_EQ(0, check(key("key.pub")).first) << check(key("key.pub")).second;
  EXPECT_EQ(0, check(key("key.pub") + key("other.pub")).first);
  EXPECT_EQ(0, check(key("key.pub") + "\n" + key("other.pub") + "\n").first);
  const struct { std::string text, message; } refused[] = {
      {"", "holds no"},
      {"not a key\n", "holds no"},
      {key("key.pub") + "trailing words\n", "must hold only"},
      {key("key.pub") + kBrokenKey, "key 2 of 2 is not a PKCS#1 RSA public key"},
      {key("small.pub"), "key 1 of 1 is not a 2048, 3072 or 4096-bit RSA key"},
      {key("key.pem"), "holds no"},
  };
  for (const auto& c : refused) {
    const auto [status, out] = check(c.text);
    EXPECT_NE(0, status) << c.text;
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
  }
}

// MD5 against the RFC 1321 vectors, SHA-256 against the FIPS 180 ones, also for files longer
// than one read chunk.
TEST_F(CryptoTest, FileDigestsMatchTheStandardVectors) {
  using Digest = std::string (*)(const char*, apr_pool_t*);
  const std::string million(1000000, 'a');
  const struct { Digest digest; std::string text; const char* expected; } vectors[] = {
      {ssl_md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {ssl_md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {ssl_md5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {ssl_md5, million, "7707d6ae4e027c70eea2a935c2296f21"},
      {ssl_sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {ssl_sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {ssl_sha256, million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& v : vectors) {
    WriteFile(dir_.Append("file"), v.text);
    EXPECT_EQ(v.expected, v.digest(dir_.Append("file").c_str(), pool_)) << v.text.substr(0, 9);
  }
  for (Digest digest : {ssl_md5, ssl_sha256})
    EXPECT_THROW(digest(dir_.Append("absent").c_str(), pool_), apr::Exception);
}

}  // namespace
