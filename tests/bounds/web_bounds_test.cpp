// Requests against a misbehaving loopback server: answers over the cap,
// servers that drip, and quitting in the middle of a transfer.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "response/response_fixture.h"
#include "support/input_bounds.h"
#include "support/vq_exception.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/wait_for.h"
#include "web/apple_web.h"
#include "web/apple_web_download.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using vq_testing::CannedResponse;
using vq_testing::TestHttpServer;
using Clock = std::chrono::steady_clock;

// The raised exception, or code -1 when get() succeeded.
VqException Failure(Web& web) {
  try {
    web.get();
  } catch (const VqException& e) {
    return e;
  }
  return VqException(VqException::ZONE_CLIENT, VqException::SEVERITY_LOW, VqException::code(-1),
                     "no failure");
}

// `bytes` of body in 4-byte pieces, streamed.
CannedResponse Streamed(std::size_t bytes, bool sendLength) {
  CannedResponse response;
  response.repeat = "<a/>";
  response.repeat_count = bytes / 4;
  response.body = std::string(bytes % 4, ' ');
  response.send_length = sendLength;
  return response;
}

// Downloads land in the working directory, the fixture's data directory.
class WebBoundsTest : public DataDirTest {
 protected:
  // A form POST to "/vq.php" of the test server, as the update request is.
  void AimAtUpdates(AppleWeb& web) {
    web.setUrl(server_.url("/vq.php").c_str());
    web.addParameter("a", "b");
  }
  TestHttpServer server_;
};

TEST_F(WebBoundsTest, AnswersBeyondTheCapAreRefusedWhileTheyArrive) {
  static_assert(vq_bounds::kMaxAnswerBytes <= 32 * 1024 * 1024,
                "the answer cap keeps refusals within 64 MiB");
  const std::size_t cap = vq_bounds::kMaxAnswerBytes;
  struct Case {
    std::size_t bytes;
    bool sendLength;
    bool accepted;
  };
  for (const Case& c : {Case{cap, true, true}, Case{cap, false, true}, Case{cap + 1, true, false},
                        Case{cap + 1, false, false}, Case{20 * cap, false, false}}) {
    server_.ExpectOnce("POST", "/vq.php", Streamed(c.bytes, c.sendLength));
    AppleWeb web(pool_);
    EXPECT_EQ(cap, web.maxBodyBytes());
    AimAtUpdates(web);
    const VqException e = Failure(web);
    const std::string where = std::to_string(c.bytes) + (c.sendLength ? " with" : " without") +
                              " length: " + e.getErrorDescription();
    if (c.accepted) {
      EXPECT_EQ(-1, e.getErrorCode()) << where;
      EXPECT_EQ(c.bytes, web.getBody().size()) << where;
    } else {
      EXPECT_EQ(kErrTransport, e.getErrorCode()) << where;
      EXPECT_LE(web.getBody().size(), cap) << where;
    }
  }
}

// A dripping answer ends at the cancel check within about a second, and at
// the overall deadline when nobody cancels.
TEST_F(WebBoundsTest, DrippingAnswersEndOnCancelAndAtTheDeadline) {
  CannedResponse drip;
  drip.body = "<vq version=\"2.0\">";
  drip.repeat = " ";
  drip.repeat_count = 100000;
  drip.drip = milliseconds(400);
  server_.Always("POST", "/vq.php", drip);

  std::atomic<bool> cancel{false};
  std::atomic<Clock::rep> cancelledAt{0};
  std::thread canceller([&] {
    vq_testing::WaitFor([&] { return server_.request_count() == 1; });
    cancelledAt = Clock::now().time_since_epoch().count();
    cancel = true;
  });
  AppleWeb cancelled(pool_);
  AimAtUpdates(cancelled);
  cancelled.setCancelCheck([&] { return cancel.load(); });
  const VqException e = Failure(cancelled);
  canceller.join();
  const auto afterCancel = Clock::now() - Clock::time_point(Clock::duration(cancelledAt.load()));
  EXPECT_EQ(kErrTransport, e.getErrorCode()) << e.getErrorDescription();
  EXPECT_LT(afterCancel, milliseconds(1500));

  AppleWeb bounded(pool_);
  AimAtUpdates(bounded);
  bounded.setTotalTimeoutSeconds(1);
  const auto start = Clock::now();
  EXPECT_EQ(kErrTransport, Failure(bounded).getErrorCode());
  EXPECT_LT(Clock::now() - start, seconds(3));
}

// Downloads stream to a file: their size is not bounded by the answer cap.
TEST_F(WebBoundsTest, DownloadsAreNotBoundedByTheAnswerCap) {
  const std::size_t bytes = vq_bounds::kMaxAnswerBytes + 1024 * 1024 + 3;
  server_.ExpectOnce("GET", "/big", Streamed(bytes, true));
  AppleWebDownload download(pool_);
  download.setUrl(server_.url("/big").c_str());
  const VqException e = Failure(download);
  EXPECT_EQ(-1, e.getErrorCode()) << e.getErrorDescription();
  EXPECT_EQ(bytes, vq_testing::PathExists(download.DownloadFilename())
                       ? std::filesystem::file_size(download.DownloadFilename()) : 0);
}

}  // namespace
