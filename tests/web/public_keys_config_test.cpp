// The configure-time check of the compiled-in public keys, run as the CMake
// script the build itself includes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::ReadFile;
using vq_testing::WriteFile;

class PublicKeysConfigTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, std::system(("cd " + dir_.path() + " && for k in a:2048 b:3072 small:1024; do"
                              " openssl genrsa -out ${k%:*}.pem ${k#*:} && openssl rsa -in"
                              " ${k%:*}.pem -RSAPublicKey_out -out ${k%:*}.pub || exit 1;"
                              " done 2>/dev/null").c_str()));
  }
  // Runs the check on a file holding `text`; its exit status and output.
  static std::pair<int, std::string> Check(const std::string& text) {
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
    return {status, out};
  }
  static std::string Key(const std::string& name) { return ReadFile(dir_.Append(name)); }

  static inline vq_testing::ScopedTempDir dir_;
};

TEST_F(PublicKeysConfigTest, OneOrSeveralUsableKeysPassAnythingElseStopsClearly) {
  EXPECT_EQ(0, Check(Key("a.pub")).first) << Check(Key("a.pub")).second;
  EXPECT_EQ(0, Check(Key("a.pub") + Key("b.pub")).first);
  EXPECT_EQ(0, Check(Key("a.pub") + "\n" + Key("b.pub") + "\n").first);
  const struct { std::string text, message; } refused[] = {
      {"", "holds no"},
      {"not a key\n", "holds no"},
      {Key("a.pub") + "trailing words\n", "must hold only"},
      {Key("a.pub") + "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n",
       "key 2 of 2 is not a PKCS#1 RSA public key"},
      {Key("small.pub"), "key 1 of 1 is not a 2048, 3072 or 4096-bit RSA key"},
      {Key("a.pem"), "holds no"},
  };
  for (const auto& c : refused) {
    const auto [status, out] = Check(c.text);
    EXPECT_NE(0, status) << c.text;
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
  }
}

}  // namespace
