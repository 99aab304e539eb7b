// Freshness of signed answers (second signature bound to the request's nonce, signed expiry,
// pinned servers) and SHA-256 checked downloads, on real files in a temporary data directory.
#include <tinyxml.h>

#include <cctype>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "response/answer_freshness.h"
#include "response/response_fixture.h"
#include "response/server_pins.h"
#include "response/vq_response_processor.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/log_capture.h"
#include "vqsign/answer_signing.h"
#include "web/answer_protocol.h"

namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;

const std::string kNonce = "0123456789abcdef0123456789abcdef";
const std::string kServer = "http://updates.example/channel/";

// A document that writes "ran.txt" when it runs; `root` adds attributes.
std::string Answer(const std::string& root = "") {
  return "<vq version='2.0' " + root +
         "><transaction><write filename='ran.txt'>ran</write></transaction></vq>";
}

std::string Expires(std::int64_t fromNow) {
  return std::string(vq_answer::kExpiresAttribute) + "='" +
         vq_answer::formatExpiry(static_cast<std::int64_t>(std::time(nullptr)) + fromNow) + "'";
}

std::string Sig2(const std::string& body, const std::string& nonce = kNonce) {
  return vqtools::secondSignature(TestSigner(), nonce, body);
}

class FreshnessTest : public DataDirTest {
 protected:
  // Processes `body` as the answer from kServer to a request that carried kNonce. Returns the
  // refusal's code, or 0 when the document ran.
  int Process(const std::string& body, std::optional<std::string> sig2, bool required = false,
              const std::string& page = "vq.php") {
    std::vector<std::pair<std::string, std::string>> headers = {
        {"xxx-vq-sig", TestSigner().signBase64(body)}};
    if (sig2) headers.emplace_back(vq_answer::kSecondSignatureHeader, *sig2);
    CannedWeb web(pool_, body, headers);
    VqResponseProcessor processor(pool_, &app_, (kServer + page).c_str());
    processor.expectFreshAnswer({kNonce, required, ServerPins::kFileName, &notices_});
    std::filesystem::remove(DataPath("ran.txt"));
    try {
      processor.process(web, &app_, true);
    } catch (const VqException& e) {
      EXPECT_FALSE(PathExists(DataPath("ran.txt"))) << "refused, yet it ran";
      EXPECT_EQ(VqException::ZONE_SERVER, e.getErrorZone());
      return e.getErrorCode();
    }
    EXPECT_TRUE(PathExists(DataPath("ran.txt")));
    return 0;
  }

  FreshnessNotices notices_;
};

TEST_F(FreshnessTest, EachRuleAcceptsOrRefusesWithItsCode) {
  const std::string plain = Answer(), live = Answer(Expires(3600)), dead = Answer(Expires(-1));
  const struct {
    const char* why;
    std::string body;
    std::optional<std::string> sig2;
    bool required;
    int code;
  } cases[] = {
      {"signed for this nonce, required", plain, Sig2(plain), true, 0},
      {"signed for another nonce", plain, Sig2(plain, "fedcba9876543210fedcba9876543210"), false,
       kErrSecondSignatureMismatch},
      {"another body signed for this nonce", plain, Sig2(live), false,
       kErrSecondSignatureMismatch},
      {"not Base64", plain, std::string("%%%"), false, kErrSecondSignatureMismatch},
      {"expired", dead, std::nullopt, false, kErrAnswerExpired},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(DataPath(ServerPins::kFileName));
    EXPECT_EQ(c.code, Process(c.body, c.sig2, c.required)) << c.why;
  }
}

TEST_F(FreshnessTest, AServerThatSignedForANonceCannotBeStrippedBack) {
  const std::string body = Answer();
  ASSERT_EQ(0, Process(body, std::nullopt));
  EXPECT_FALSE(PathExists(DataPath(ServerPins::kFileName)));
  // The first valid second signature pins the server, written through a temporary that is gone.
  ASSERT_EQ(0, Process(body, Sig2(body)));
  EXPECT_EQ(kServer + "\n", ReadFile(DataPath(ServerPins::kFileName)));
  EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir_.path()), {}));
  // The header stripped: refused for its error page too, and even with an unexpired expiry.
  EXPECT_EQ(kErrSecondSignatureMissing, Process(body, std::nullopt, false, "vqerror.php"));
  EXPECT_EQ(kErrSecondSignatureMissing, Process(Answer(Expires(3600)), std::nullopt, true));
  EXPECT_EQ(0, Process(body, Sig2(body)));
  EXPECT_EQ(kServer + "\n", ReadFile(DataPath(ServerPins::kFileName)));
}

TEST_F(FreshnessTest, PinsKeepOtherServersAndAreReadOnEveryCheck) {
  ServerPins pins(pool_);
  std::string why;
  EXPECT_FALSE(pins.isPinned("http://a/"));
  for (const char* server : {"http://a/", "http://b/x/", "http://a/"})
    ASSERT_TRUE(pins.pin(server, &why)) << why;
  EXPECT_EQ("http://a/\nhttp://b/x/\n", ReadFile(DataPath("vq.pins")));
  EXPECT_TRUE(ServerPins(pool_).isPinned("http://b/x/"));
  EXPECT_FALSE(pins.isPinned("http://b/"));
  EXPECT_FALSE(pins.pin("http://c/\nhttp://evil/", &why));
  EXPECT_FALSE(pins.isPinned("http://evil/"));
}

TEST_F(FreshnessTest, MissingSecondSignatureIsLoggedOncePerServer) {
  vq_testing::LogCapture log(VqResponseProcessor::LOG_CATEGORY);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(0, Process(Answer(), std::nullopt));
  int notices = 0;
  for (const std::string& line : log.Take())
    notices += line.find("carry no xxx-vq-sig2 header and no expiry") != std::string::npos;
  EXPECT_EQ(1, notices);
}

TEST_F(FreshnessTest, UnsignedOrUncheckedDocumentsAreNotJudged) {
  // Without "secure.sign" there is nothing to bind, so nothing is checked.
  CannedWeb web(pool_, Answer(Expires(-10)), {});
  VqResponseProcessor processor(pool_, &app_, (kServer + "vq.php").c_str());
  processor.expectFreshAnswer({kNonce, true, "", nullptr});
  processor.process(web, &app_, false);
  EXPECT_TRUE(PathExists(DataPath("ran.txt")));
}

TEST_F(FreshnessTest, DownloadsWithASha256AreCheckedWhileStreaming) {
  vq_testing::TestHttpServer server;
  server.Always("GET", "/f", {200, {}, "content"});
  const std::string sha256 = "ed7002b439e9ac845f22357d822bac1444730fbdb6016d3ec9432297b9ec9f73";
  std::string upper = sha256;
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  // Runs a download of "content" to "f" asking for `digest`; the codes it reported.
  const auto download = [&](const std::string& digest) {
    app_.reports.clear();
    TiXmlDocument document;
    document.Parse(("<vq><transaction><web url='" + server.url("/f") + "' filename='f' "
                    "md5='9a0364b9e99bb480dd25e1f0284c8555' sha256='" + digest +
                    "'/></transaction></vq>").c_str());
    VqResponseProcessor(pool_, &app_, "http://server/vq.php")
        .processTransactions(document.RootElement(), &app_);
    return app_.codes();
  };
  for (const auto& [digest, code] : std::vector<std::pair<std::string, int>>{
           {sha256, 0}, {upper, 0}, {std::string(64, '0'), kErrWebMd5Mismatch},
           {sha256.substr(1), kErrWebMd5Mismatch}}) {
    std::filesystem::remove(DataPath("f"));
    EXPECT_EQ(code ? std::vector<int>{code} : std::vector<int>{}, download(digest)) << digest;
    EXPECT_EQ(code == 0, PathExists(DataPath("f"))) << digest;
  }
  // A current file whose MD5 matches but whose SHA-256 is not the one asked for is downloaded
  // again (and refused), never kept; with the right one it is kept without a download.
  vq_testing::WriteFile(DataPath("f"), "content");
  const std::size_t before = server.request_count();
  EXPECT_EQ(std::vector<int>{kErrWebMd5Mismatch}, download(std::string(64, 'a')));
  EXPECT_EQ(before + 1, server.request_count());
  EXPECT_EQ(std::vector<int>{}, download(sha256));
  EXPECT_EQ(before + 1, server.request_count());
}

}  // namespace
