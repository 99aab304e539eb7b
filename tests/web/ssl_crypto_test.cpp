#include "web/ssl_crypto.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "support/apr_exception.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::ReadFile;
using vq_testing::ScopedTempDir;
using vq_testing::WriteFile;

// Keys and signatures come from the openssl command line, never from the
// code under test.
class SignatureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScopedTempDir;
    Run("openssl genrsa -out " + dir_->Append("key.pem") + " 2048");
    Run("openssl rsa -in " + dir_->Append("key.pem") +
        " -RSAPublicKey_out -out " + dir_->Append("public.pem"));
    Run("openssl genrsa -out " + dir_->Append("other.pem") + " 2048");
    public_key_ = new std::string(ReadFile(dir_->Append("public.pem")));
  }
  static void TearDownTestSuite() {
    delete public_key_;
    delete dir_;
  }

  static void Run(const std::string& command) {
    ASSERT_EQ(0, std::system((command + " 2>/dev/null").c_str())) << command;
  }

  // The Base64 signature of `body` by the private key in `key_file`.
  static std::string Sign(const std::string& body, const std::string& key_file) {
    WriteFile(dir_->Append("body"), body);
    Run("openssl dgst -sha1 -sign " + key_file + " -out " +
        dir_->Append("sig") + " " + dir_->Append("body"));
    Run("openssl base64 -A -in " + dir_->Append("sig") + " -out " +
        dir_->Append("sig.b64"));
    return ReadFile(dir_->Append("sig.b64"));
  }

  bool Check(const std::string& body, const std::string& signature) {
    return ssl_checkSignedHeader(public_key_->c_str(), body.data(), body.size(),
                                 signature.c_str(), pool_);
  }

  static ScopedTempDir* dir_;
  static std::string* public_key_;
  apr::Pool pool_;
};

ScopedTempDir* SignatureTest::dir_ = nullptr;
std::string* SignatureTest::public_key_ = nullptr;

TEST_F(SignatureTest, SignatureOverTheExactBodyVerifies) {
  const std::string body = "<vq version=\"1\"><transaction/></vq>\n";
  const std::string signature = Sign(body, dir_->Append("key.pem"));
  EXPECT_TRUE(Check(body, signature));
  const std::string empty_signature = Sign("", dir_->Append("key.pem"));
  EXPECT_TRUE(Check("", empty_signature));
}

TEST_F(SignatureTest, ChangedBodyOrOtherKeyFails) {
  const std::string body = "<vq version=\"1\"><transaction/></vq>";
  const std::string signature = Sign(body, dir_->Append("key.pem"));
  std::string changed = body;
  changed[5] = 'V';
  EXPECT_FALSE(Check(changed, signature));
  EXPECT_FALSE(Check(body + " ", signature));
  EXPECT_FALSE(Check(body, Sign(body, dir_->Append("other.pem"))));
}

TEST_F(SignatureTest, MalformedSignatureTextFailsWithoutThrowing) {
  const std::string body = "payload";
  const std::string signature = Sign(body, dir_->Append("key.pem"));
  EXPECT_FALSE(Check(body, ""));
  EXPECT_FALSE(Check(body, "c2hvcnQ="));                       // "short"
  EXPECT_FALSE(Check(body, signature.substr(0, 200)));         // truncated
  EXPECT_FALSE(Check(body, "!!!! not base64 at all ????"));
  EXPECT_FALSE(Check(body, signature + signature));            // too long
  std::string flipped = signature;
  flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(Check(body, flipped));
  EXPECT_FALSE(ssl_checkSignedHeader(public_key_->c_str(), body.data(),
                                     body.size(), nullptr, pool_));
}

TEST_F(SignatureTest, KeyThatDoesNotParseRefusesEverything) {
  const std::string body = "payload";
  const std::string signature = Sign(body, dir_->Append("key.pem"));
  EXPECT_FALSE(ssl_checkSignedHeader("-----BEGIN RSA PUBLIC KEY-----\nAAAA\n",
                                     body.data(), body.size(),
                                     signature.c_str(), pool_));
}

TEST_F(SignatureTest, CompiledInKeyIsTheConfiguredOne) {
  EXPECT_EQ(ReadFile(VQ_COMPILED_PUBLIC_KEY),
            std::string(vqServerClientSigningPublicKey));
  if (std::string(VQ_COMPILED_PUBLIC_KEY) != VQ_DEMO_PUBLIC_KEY) {
    GTEST_SKIP() << "built with another key than the demo pair";
  }
  const std::string body = "<vq version=\"1\"/>";
  const std::string signature = Sign(body, VQ_DEMO_PRIVATE_KEY);
  EXPECT_TRUE(ssl_checkClientSignedHeader(body.data(), body.size(),
                                          signature.c_str(), pool_));
  EXPECT_FALSE(ssl_checkClientSignedHeader(
      body.data(), body.size(),
      Sign(body, dir_->Append("key.pem")).c_str(), pool_));
}

class DigestTest : public ::testing::Test {
 protected:
  std::string Md5Of(const std::string& contents) {
    const std::string path = dir_.Append("file");
    WriteFile(path, contents);
    return ssl_md5(path.c_str(), pool_);
  }

  ScopedTempDir dir_;
  apr::Pool pool_;
};

TEST_F(DigestTest, Md5MatchesTheRfc1321TestSuite) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Of(""));
  EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", Md5Of("a"));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Of("abc"));
  EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", Md5Of("message digest"));
  EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b",
            Md5Of("abcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
            Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                  "0123456789"));
  std::string digits;
  for (int i = 0; i < 8; ++i) digits += "1234567890";
  EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a", Md5Of(digits));
}

TEST_F(DigestTest, Md5ReadsFilesLongerThanOneChunk) {
  // One million "a"s, a common extension of the RFC 1321 vectors.
  EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21",
            Md5Of(std::string(1000000, 'a')));
}

TEST_F(DigestTest, MissingFileRaises) {
  EXPECT_THROW(ssl_md5(dir_.Append("absent").c_str(), pool_), apr::Exception);
}

TEST(Base64DecodeTest, DecodesAndAppends) {
  apr::Pool pool;
  MemoryBuffer<unsigned char> out(pool);
  out.append('>');
  base64Decode("aGVsbG8gd29ybGQ=", out);
  EXPECT_EQ(">hello world", out.str());
  base64Decode("", out);
  base64Decode(nullptr, out);
  EXPECT_EQ(">hello world", out.str());
}

}  // namespace
