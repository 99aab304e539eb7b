// Freshness of signed answers (second signature bound to the request's
// nonce, signed expiry, pinned servers) and SHA-256 checked downloads, on
// real files in a temporary data directory.

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lifecycle/application_external_implementation.h"
#include "lifecycle/vq_application.h"
#include "response/answer_freshness.h"
#include "response/exception_report_interface.h"
#include "response/server_pins.h"
#include "response/vq_response_processor.h"
#include "support/apr_pool.h"
#include "support/vq_exception.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/log_capture.h"
#include "testing/scoped_temp_dir.h"
#include "vqsign/answer_signing.h"
#include "vqsign/rsa_signer.h"
#include "web/answer_protocol.h"
#include "web/web.h"

namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

class Reports : public ApplicationExternalImplementation,
                public ExceptionReportInterface {
 public:
  Reports() : ApplicationExternalImplementation(nullptr) {}
  void report(VqException& e) override { codes.push_back(e.getErrorCode()); }
  std::vector<int> codes;
};

// An answer that has "arrived", with the headers a server sent.
class CannedWeb : public Web {
 public:
  CannedWeb(apr_pool_t* pool, const std::string& body,
            const std::vector<std::pair<std::string, std::string>>& headers)
      : Web(pool) {
    mutableBody().append(body.data(), body.size());
    for (const auto& [name, value] : headers) setHeader(name, value);
  }
  bool get() override { return true; }
};

const vqtools::RsaSigner& Signer() {
  static const auto signer = [] {
    std::string error;
    auto loaded = vqtools::RsaSigner::fromPemFile(VQ_TEST_PRIVATE_KEY, &error);
    if (!loaded) throw std::runtime_error(error);
    return loaded;
  }();
  return *signer;
}

const std::string kNonce = "0123456789abcdef0123456789abcdef";
const std::string kOtherNonce = "fedcba9876543210fedcba9876543210";
const std::string kServer = "http://updates.example/channel/";

// A document that writes "ran.txt" when it runs; `root` adds attributes.
std::string Answer(const std::string& root = "") {
  return "<vq version='2.0' " + root +
         "><transaction><write filename='ran.txt'>ran</write></transaction></vq>";
}

std::string Expires(std::int64_t fromNow) {
  return std::string(vq_answer::kExpiresAttribute) + "='" +
         vq_answer::formatExpiry(static_cast<std::int64_t>(std::time(nullptr)) +
                                 fromNow) +
         "'";
}

class FreshnessTest : public ::testing::Test {
 protected:
  FreshnessTest() : oldCwd_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::DIR_DATA, dir_.path().c_str());
  }
  ~FreshnessTest() override {
    VqApplication::clearEnv();
    std::filesystem::current_path(oldCwd_);
  }

  // Processes `body` as the answer from kServer to a request that carried
  // kNonce. Returns the refusal's code, or 0 when the document ran.
  int Process(const std::string& body, std::optional<std::string> sig2,
              bool required = false, const std::string& page = "vq.php") {
    std::vector<std::pair<std::string, std::string>> headers = {
        {"xxx-vq-sig", Signer().signBase64(body)}};
    if (sig2) headers.emplace_back(vq_answer::kSecondSignatureHeader, *sig2);
    CannedWeb web(pool_, body, headers);
    VqResponseProcessor processor(pool_, &app_, (kServer + page).c_str());
    FreshnessExpectation expectation;
    expectation.nonce = kNonce;
    expectation.required = required;
    expectation.pinFile = ServerPins::kFileName;
    expectation.notices = &notices_;
    processor.expectFreshAnswer(expectation);
    std::filesystem::remove(dir_.Append("ran.txt"));
    try {
      processor.process(web, &app_, true);
    } catch (const VqException& e) {
      EXPECT_FALSE(PathExists(dir_.Append("ran.txt"))) << "refused, yet it ran";
      EXPECT_EQ(VqException::ZONE_SERVER, e.getErrorZone());
      return e.getErrorCode();
    }
    EXPECT_TRUE(PathExists(dir_.Append("ran.txt")));
    return 0;
  }
  static std::string Sig2(const std::string& body,
                          const std::string& nonce = kNonce) {
    return vqtools::secondSignature(Signer(), nonce, body);
  }

  vq_testing::ScopedTempDir dir_;
  std::filesystem::path oldCwd_;
  apr::Pool pool_;
  Reports app_;
  FreshnessNotices notices_;
};

TEST_F(FreshnessTest, EachRuleAcceptsOrRefusesWithItsCode) {
  const std::string plain = Answer();
  const std::string live = Answer(Expires(3600));
  const std::string dead = Answer(Expires(-1));
  const struct {
    const char* why;
    std::string body;
    std::optional<std::string> sig2;
    bool required;
    int code;
  } cases[] = {
      // An old server (no second signature, no expiry) works by default...
      {"old server", plain, std::nullopt, false, 0},
      // ...and so does a recorded answer replayed to a new request, unless
      // freshness is required.
      {"replay, not required", plain, std::nullopt, false, 0},
      {"replay, required", plain, std::nullopt, true, kErrAnswerNotFresh},
      {"signed for this nonce, required", plain, Sig2(plain), true, 0},
      {"signed for another nonce", plain, Sig2(plain, kOtherNonce), false,
       kErrSecondSignatureMismatch},
      {"another body signed for this nonce", plain, Sig2(live), false,
       kErrSecondSignatureMismatch},
      {"not Base64", plain, std::string("%%%"), false,
       kErrSecondSignatureMismatch},
      {"unexpired, required", live, std::nullopt, true, 0},
      {"expired", dead, std::nullopt, false, kErrAnswerExpired},
      {"expired, although signed for this nonce", dead, Sig2(dead), false,
       kErrAnswerExpired},
      {"unreadable expiry", Answer("expires='tomorrow'"), std::nullopt, false,
       kErrAnswerExpired},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir_.Append(ServerPins::kFileName));
    EXPECT_EQ(c.code, Process(c.body, c.sig2, c.required)) << c.why;
  }
}

TEST_F(FreshnessTest, AServerThatSignedForANonceCannotBeStrippedBack) {
  const std::string body = Answer();
  ASSERT_EQ(0, Process(body, std::nullopt));
  EXPECT_FALSE(PathExists(dir_.Append(ServerPins::kFileName)));
  // The first valid second signature pins the server.
  ASSERT_EQ(0, Process(body, Sig2(body)));
  EXPECT_EQ(kServer + "\n", ReadFile(dir_.Append(ServerPins::kFileName)));
  // Written through a temporary that is gone.
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    entries.push_back(entry.path().filename());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ((std::vector<std::string>{"ran.txt", ServerPins::kFileName}), entries);
  // The header stripped: refused, for its error page as well, even with an
  // unexpired expiry and without the requirement.
  EXPECT_EQ(kErrSecondSignatureMissing, Process(body, std::nullopt));
  EXPECT_EQ(kErrSecondSignatureMissing,
            Process(body, std::nullopt, false, "vqerror.php"));
  EXPECT_EQ(kErrSecondSignatureMissing,
            Process(Answer(Expires(3600)), std::nullopt, true));
  EXPECT_EQ(0, Process(body, Sig2(body)));
  EXPECT_EQ(kServer + "\n", ReadFile(dir_.Append(ServerPins::kFileName)));
}

TEST_F(FreshnessTest, PinsKeepOtherServersAndAreReadOnEveryCheck) {
  ServerPins pins(pool_);
  std::string why;
  EXPECT_FALSE(pins.isPinned("http://a/"));
  ASSERT_TRUE(pins.pin("http://a/", &why)) << why;
  ASSERT_TRUE(pins.pin("http://b/x/", &why)) << why;
  ASSERT_TRUE(pins.pin("http://a/", &why)) << why;
  EXPECT_EQ("http://a/\nhttp://b/x/\n", ReadFile(dir_.Append("vq.pins")));
  EXPECT_TRUE(ServerPins(pool_).isPinned("http://b/x/"));
  EXPECT_FALSE(pins.isPinned("http://b/"));
  EXPECT_FALSE(pins.pin("http://c/\nhttp://evil/", &why));
  EXPECT_FALSE(pins.isPinned("http://evil/"));
  EXPECT_EQ("http://h:1/", serverOfPage("http://h:1/vq.php"));
  EXPECT_EQ("http://h/a/b/", serverOfPage("http://h/a/b/vqerror.php"));
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
  const std::string dead = Answer(Expires(-10));
  CannedWeb web(pool_, dead, {});
  VqResponseProcessor processor(pool_, &app_, (kServer + "vq.php").c_str());
  FreshnessExpectation expectation;
  expectation.nonce = kNonce;
  expectation.required = true;
  processor.expectFreshAnswer(expectation);
  processor.process(web, &app_, false);
  EXPECT_TRUE(PathExists(dir_.Append("ran.txt")));
}

TEST_F(FreshnessTest, DownloadsWithASha256AreCheckedWhileStreaming) {
  vq_testing::TestHttpServer server;
  server.Always("GET", "/f", {200, {}, "content"});
  const std::string md5 = "md5='9a0364b9e99bb480dd25e1f0284c8555'";
  const std::string sha256 =
      "ed7002b439e9ac845f22357d822bac1444730fbdb6016d3ec9432297b9ec9f73";
  std::string upper = sha256;
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  auto web = [&](const std::string& digest) {
    return "<vq><transaction><web url='" + server.url("/f") +
           "' filename='f' " + md5 + " sha256='" + digest +
           "'/></transaction></vq>";
  };
  const struct { std::string digest; int code; } cases[] = {
      {sha256, 0},
      {upper, 0},
      {std::string(64, '0'), kErrWebMd5Mismatch},
      {sha256.substr(1), kErrWebMd5Mismatch},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir_.Append("f"));
    app_.codes.clear();
    TiXmlDocument document;
    document.Parse(web(c.digest).c_str());
    VqResponseProcessor(pool_, &app_, "http://server/vq.php")
        .processTransactions(document.RootElement(), &app_);
    EXPECT_EQ(c.code, app_.codes.empty() ? 0 : app_.codes[0]) << c.digest;
    EXPECT_EQ(c.code == 0, PathExists(dir_.Append("f"))) << c.digest;
  }
  // A current file whose MD5 matches but whose SHA-256 is not the one asked
  // for is downloaded again (and refused), never kept.
  WriteFile(dir_.Append("f"), "content");
  const std::size_t before = server.request_count();
  app_.codes.clear();
  TiXmlDocument current;
  current.Parse(web(std::string(64, 'a')).c_str());
  VqResponseProcessor(pool_, &app_, "http://server/vq.php")
      .processTransactions(current.RootElement(), &app_);
  EXPECT_EQ(before + 1, server.request_count());
  EXPECT_EQ(std::vector<int>{kErrWebMd5Mismatch}, app_.codes);
  // With the right one, the current file is kept without a download.
  TiXmlDocument kept;
  kept.Parse(web(sha256).c_str());
  VqResponseProcessor(pool_, &app_, "http://server/vq.php")
      .processTransactions(kept.RootElement(), &app_);
  EXPECT_EQ(before + 1, server.request_count());
}

}  // namespace
