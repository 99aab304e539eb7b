#include "web/apple_web_download.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/apr_pool.h"
#include "support/general_hash_functions.h"
#include "support/vq_exception.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/scoped_temp_dir.h"
#include "web/ssl_crypto.h"
#include "web/web_download.h"

namespace {

using vq_testing::CannedResponse;
using vq_testing::ReadFile;
using vq_testing::ScopedTempDir;
using vq_testing::TestHttpServer;

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

// Downloads land in the current directory: each test runs inside its own
// temporary one.
class AppleWebDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof(cwd)));
    previous_ = cwd;
    ASSERT_EQ(0, chdir(dir_.path().c_str()));
    ASSERT_TRUE(ListDirectory(".").empty());
  }
  void TearDown() override { ASSERT_EQ(0, chdir(previous_.c_str())); }

  VqException DownloadFailure(AppleWebDownload& download) {
    try {
      download.get();
    } catch (const VqException& e) {
      return e;
    }
    ADD_FAILURE() << "get() did not raise";
    return VqException("none");
  }

  std::string previous_;
  ScopedTempDir dir_;
  apr::Pool pool_;
  TestHttpServer server_;
};

TEST_F(AppleWebDownloadTest, BodyIsStreamedIntoTheNamedFile) {
  std::string body(5 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) {
    body[i] = static_cast<char>((i * 31) ^ (i >> 9));
  }
  server_.ExpectOnce("GET", "/app.zip", CannedResponse{200, {}, body});
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/app.zip").c_str());
  ASSERT_TRUE(download.get());

  const std::string name = download.DownloadFilename();
  EXPECT_EQ(std::vector<std::string>{name}, ListDirectory("."));
  EXPECT_TRUE(ReadFile(name) == body);
  // The body never collects in memory.
  EXPECT_EQ(0u, download.getBody().size());
  EXPECT_EQ(ssl_md5(name.c_str(), pool_), download.DownloadMd5());
}

TEST_F(AppleWebDownloadTest, EmptyBodyGivesAnEmptyFile) {
  server_.ExpectOnce("GET", "/empty", CannedResponse{200, {}, ""});
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/empty").c_str());
  ASSERT_TRUE(download.get());
  EXPECT_EQ("", ReadFile(download.DownloadFilename()));
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", download.DownloadMd5());
}

TEST_F(AppleWebDownloadTest, TwoDownloadsOfOneUrlGetDistinctNames) {
  server_.Always("GET", "/same", CannedResponse{200, {}, "same"});
  const std::string url = server_.url("/same");
  AppleWebDownload first(pool_);
  AppleWebDownload second(pool_);
  first.setUrl(url.c_str());
  second.setUrl(url.c_str());
  ASSERT_TRUE(first.get());
  ASSERT_TRUE(second.get());

  const std::string a = first.DownloadFilename();
  const std::string b = second.DownloadFilename();
  const std::string prefix =
      "tmp_" + std::to_string(static_cast<std::int32_t>(PJWHash(url))) + "_0_";
  EXPECT_EQ(prefix.size() + 6, a.size());
  EXPECT_EQ(0u, a.find(prefix));
  EXPECT_EQ(0u, b.find(prefix));
  EXPECT_NE(a, b);
  EXPECT_EQ(2u, ListDirectory(".").size());
}

TEST_F(AppleWebDownloadTest, FailedTransferLeavesNoFile) {
  AppleWebDownload download(pool_);
  // Nothing listens on the port of a server that has gone.
  std::string url;
  {
    TestHttpServer gone;
    url = gone.url("/file");
  }
  download.setUrl(url.c_str());
  const VqException e = DownloadFailure(download);
  EXPECT_EQ(155, e.getErrorCode());
  EXPECT_TRUE(ListDirectory(".").empty());
}

TEST_F(AppleWebDownloadTest, UnreachableHostLeavesNoFile) {
  AppleWebDownload download(pool_);
  download.setUrl("http://downloads.invalid/file");
  EXPECT_EQ(215, DownloadFailure(download).getErrorCode());
  EXPECT_TRUE(ListDirectory(".").empty());
}

TEST_F(AppleWebDownloadTest, WriteFailureIsCode175AndLeavesNoFile) {
  server_.ExpectOnce("GET", "/big",
                     CannedResponse{200, {}, std::string(1 << 20, 'b')});
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/big").c_str());
  // A file size limit makes writes past 64 KiB fail (EFBIG) instead of
  // killing the process.
  rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  auto previous_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const VqException e = DownloadFailure(download);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous_handler);

  EXPECT_EQ(175, e.getErrorCode());
  EXPECT_EQ(1, e.getErrorSeverity());
  EXPECT_EQ(server_.url("/big"), e.url());
  EXPECT_EQ(0u, e.getErrorDescription().find("Failed writing temporary file tmp_"));
  EXPECT_TRUE(ListDirectory(".").empty());
}

TEST_F(AppleWebDownloadTest, FileThatCannotBeCreatedIsCode140) {
  // A current directory that no longer exists cannot take new files.
  ScopedTempDir doomed;
  ASSERT_EQ(0, chdir(doomed.path().c_str()));
  ASSERT_EQ(0, rmdir(doomed.path().c_str()));
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/never").c_str());
  const VqException e = DownloadFailure(download);
  EXPECT_EQ(140, e.getErrorCode());
  EXPECT_EQ(0u, e.getErrorDescription().find("[APR ERR: "));
  EXPECT_NE(std::string::npos,
            e.getErrorDescription().find("Failed creation of temporary file ("));
  EXPECT_EQ(0u, server_.request_count());
}

TEST_F(AppleWebDownloadTest, NonFunctionalBaseOnlyCreatesItsFile) {
  WebDownload download(pool_);
  download.setUrl("http://127.0.0.1/x");
  EXPECT_FALSE(download.get());
  const std::string name = download.DownloadFilename();
  download.write_data(const_cast<char*>("abcdef"), 2, 3);
  download.get_completed(true);
  EXPECT_EQ("abcdef", ReadFile(name));
}

}  // namespace
