// Runs the vqsign executable and checks its signatures with the openssl
// command-line tool, independently of the code under test.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tool_test_support.h"

namespace {

using vqtest::run;
using vqtest::RunResult;
using vqtest::testKeys;

const std::string kVqsign = VQSIGN_PATH;

std::string trimNewline(const std::string& text) {
  return !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1)
                                              : text;
}

class VqsignTest : public ::testing::Test {
 protected:
  vqtest::TempDir dir_;
};

TEST_F(VqsignTest, SignatureVerifiesWithOpensslAndOnlyForTheSignedBytes) {
  // NUL, CR and bytes above 0x7f must all be signed as they are.
  const std::string data =
      std::string("<vq version=\"2.0\">\r\n\0\xff\xfe</vq>", 28);
  vqtest::writeFile(dir_.file("doc.xml"), data);
  const RunResult result =
      run({kVqsign, "--key", testKeys().private_pem, dir_.file("doc.xml")});
  ASSERT_EQ(0, result.exit_code) << result.err;
  // One line of Base64, nothing else.
  ASSERT_EQ('\n', result.out.back());
  const std::string signature = trimNewline(result.out);
  EXPECT_EQ(std::string::npos, signature.find_first_of("\r\n "));
  EXPECT_EQ(256u, vqtest::opensslBase64Decode(signature).size());

  EXPECT_TRUE(vqtest::opensslVerifies(data, signature));
  std::string changed = data;
  changed[5] ^= 1;
  EXPECT_FALSE(vqtest::opensslVerifies(changed, signature));
  EXPECT_FALSE(vqtest::opensslVerifies(data + "\n", signature));
}

TEST_F(VqsignTest,
       StdinEmptyFileAndBothKeyFormsGiveTheSameVerifiableSignature) {
  // PKCS#1 v1.5 signatures are deterministic, so every route to the same
  // bytes and key must print the same text.
  const std::string data = "feed document\n";
  vqtest::writeFile(dir_.file("doc"), data);
  const RunResult from_file =
      run({kVqsign, "--key", testKeys().private_pem, dir_.file("doc")});
  const RunResult from_stdin =
      run({kVqsign, "--key", testKeys().private_pem, "-"}, data);
  const RunResult pkcs1 =
      run({kVqsign, "--key", testKeys().private_pkcs1_pem, dir_.file("doc")});
  ASSERT_EQ(0, from_file.exit_code) << from_file.err;
  EXPECT_EQ(from_file.out, from_stdin.out);
  EXPECT_EQ(from_file.out, pkcs1.out);
  EXPECT_TRUE(vqtest::opensslVerifies(data, trimNewline(from_file.out)));

  vqtest::writeFile(dir_.file("empty"), "");
  const RunResult empty =
      run({kVqsign, "--key", testKeys().private_pem, dir_.file("empty")});
  ASSERT_EQ(0, empty.exit_code) << empty.err;
  EXPECT_TRUE(vqtest::opensslVerifies("", trimNewline(empty.out)));
}

TEST_F(VqsignTest, PublicKeyIsPkcs1PemOfTheSigningKey) {
  const RunResult result =
      run({kVqsign, "--key", testKeys().private_pem, "--public-key"});
  ASSERT_EQ(0, result.exit_code) << result.err;
  // The agent embeds exactly this form: 426 characters in 8 lines for a
  // 2048-bit key.
  EXPECT_EQ(0u, result.out.find("-----BEGIN RSA PUBLIC KEY-----\n"));
  EXPECT_EQ(426u, result.out.size());
  EXPECT_EQ(8, std::count(result.out.begin(), result.out.end(), '\n'));

  // It must be the public half of the key that signs.
  vqtest::writeFile(dir_.file("pkcs1.pem"), result.out);
  const RunResult converted =
      run({"openssl", "rsa", "-RSAPublicKey_in", "-in", dir_.file("pkcs1.pem"),
           "-pubout", "-out", dir_.file("spki.pem")});
  ASSERT_EQ(0, converted.exit_code) << converted.err;
  vqtest::writeFile(dir_.file("doc"), "x");
  const RunResult signature =
      run({kVqsign, "--key", testKeys().private_pem, dir_.file("doc")});
  EXPECT_TRUE(vqtest::opensslVerifies("x", trimNewline(signature.out),
                                      dir_.file("spki.pem")));
}

TEST_F(VqsignTest, UnusableKeysAndFilesFailWithStatusOne) {
  vqtest::writeFile(dir_.file("doc"), "x");
  // An encrypted key must fail rather than wait for a pass phrase.
  ASSERT_EQ(0, run({"openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt",
                    "rsa_keygen_bits:1024", "-aes128", "-pass", "pass:secret",
                    "-out", dir_.file("encrypted.pem")})
                   .exit_code);
  ASSERT_EQ(0, run({"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-out", dir_.file("ec.pem")})
                   .exit_code);
  vqtest::writeFile(dir_.file("garbage.pem"), "not a key\n");

  for (const std::string& key :
       {dir_.file("missing.pem"), dir_.file("garbage.pem"),
        dir_.file("encrypted.pem"), dir_.file("ec.pem"),
        testKeys().public_pem}) {
    const RunResult result = run({kVqsign, "--key", key, dir_.file("doc")});
    EXPECT_EQ(1, result.exit_code) << key;
    EXPECT_TRUE(result.out.empty()) << key;
    EXPECT_NE(std::string::npos, result.err.find("vqsign: ")) << key;
  }
  const RunResult missing_file =
      run({kVqsign, "--key", testKeys().private_pem, dir_.file("nothing")});
  EXPECT_EQ(1, missing_file.exit_code);
  EXPECT_TRUE(missing_file.out.empty());
}

TEST_F(VqsignTest, HelpAndUsageErrors) {
  const RunResult help = run({kVqsign, "--help"});
  EXPECT_EQ(0, help.exit_code);
  EXPECT_NE(std::string::npos, help.out.find("Usage: vqsign"));
  EXPECT_NE(std::string::npos, help.out.find("xxx-vq-sig"));

  const std::string key = testKeys().private_pem;
  for (const auto& argv : std::vector<std::vector<std::string>>{
           {kVqsign},
           {kVqsign, "doc"},
           {kVqsign, "--key"},
           {kVqsign, "--key", key},
           {kVqsign, "--key", key, "a", "b"},
           {kVqsign, "--key", key, "--public-key", "a"},
           {kVqsign, "--key", key, "--bogus", "a"}}) {
    const RunResult result = run(argv);
    EXPECT_EQ(2, result.exit_code) << argv.size();
    EXPECT_NE(std::string::npos, result.err.find("--help"));
  }
}

}  // namespace
