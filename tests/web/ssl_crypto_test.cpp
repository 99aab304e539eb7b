#include "web/ssl_crypto.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/apr_exception.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::ReadFile;
using vq_testing::WriteFile;

// Keys and signatures come from the openssl command line, never from the
// code under test.
class CryptoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, std::system(("cd " + dir_.path() +
                              " && (openssl genrsa -out key.pem 2048 && openssl"
                              " rsa -in key.pem -RSAPublicKey_out -out public.pem"
                              " && openssl genrsa -out other.pem 2048) 2>/dev/null")
                                 .c_str()));
    public_key_ = ReadFile(dir_.Append("public.pem"));
  }

  // The Base64 signature of `body` by the private key in `key_file`.
  static std::string Sign(const std::string& body,
                          const std::string& key_file = dir_.Append("key.pem")) {
    WriteFile(dir_.Append("body"), body);
    EXPECT_EQ(0, std::system(("openssl dgst -sha1 -sign " + key_file + " " +
                              dir_.Append("body") + " | openssl base64 -A > " +
                              dir_.Append("sig")).c_str()));
    return ReadFile(dir_.Append("sig"));
  }

  bool Check(const std::string& body, const char* signature,
             const std::string& key = public_key_) {
    return ssl_checkSignedHeader(key.c_str(), body.data(), body.size(),
                                 signature, pool_);
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
  EXPECT_FALSE(Check(body, Sign(body, dir_.Append("other.pem")).c_str()));
  // A key that does not parse refuses everything.
  EXPECT_FALSE(Check(body, signature.c_str(), "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n"));
  std::string flipped = signature;
  flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
  for (const std::string& bad :
       {std::string(), signature.substr(0, 200),
        std::string("!!!! not base64 at all ????"), signature + signature,
        flipped}) {
    EXPECT_FALSE(Check(body, bad.c_str())) << bad;
  }
  EXPECT_FALSE(Check(body, nullptr));
}

TEST_F(CryptoTest, CompiledInKeyIsTheConfiguredOne) {
  EXPECT_EQ(ReadFile(VQ_COMPILED_PUBLIC_KEY),
            std::string(vqServerClientSigningPublicKey));
  if (std::string(VQ_COMPILED_PUBLIC_KEY) != VQ_DEMO_PUBLIC_KEY) {
    GTEST_SKIP() << "built with another key than the demo pair";
  }
  const std::string body = "<vq version=\"1\"/>";
  EXPECT_TRUE(ssl_checkClientSignedHeader(
      body.data(), body.size(), Sign(body, VQ_DEMO_PRIVATE_KEY).c_str(), pool_));
  EXPECT_FALSE(ssl_checkClientSignedHeader(body.data(), body.size(),
                                           Sign(body).c_str(), pool_));
}

TEST_F(CryptoTest, Md5MatchesTheRfc1321Vectors) {
  // Longer than one read chunk too.
  const std::pair<std::string, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890"
       "1234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
  };
  for (const auto& [text, digest] : vectors) {
    WriteFile(dir_.Append("file"), text);
    EXPECT_EQ(digest, ssl_md5(dir_.Append("file").c_str(), pool_));
  }
  EXPECT_THROW(ssl_md5(dir_.Append("absent").c_str(), pool_), apr::Exception);
}

}  // namespace
