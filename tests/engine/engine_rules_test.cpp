// Rules of the engine that need no server: scheduling, page URLs, the log
// tail and the error report's parameters.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/vq_application.h"
#include "engine/engine_fixtures.h"
#include "engine/error_report_request.h"
#include "engine/fake_thread_external.h"
#include "engine/log_tail.h"
#include "engine/server_url.h"
#include "engine/update_schedule.h"
#include "support/apr_pool.h"
#include "support/http_query_string.h"
#include "support/vq_exception.h"

namespace engine_testing {
namespace {

constexpr apr_time_t kSecond = 1000000;

// ---- Scheduling ----

TEST(UpdateScheduleTest, IntervalsCountFromNowAndAreBounded) {
  const apr_time_t now = 1000 * kSecond;
  EXPECT_EQ(updateTimeAfterSuccess(now, 30), now + 30 * kSecond);
  EXPECT_EQ(updateTimeAfterFailure(now), now + 300 * kSecond);
  EXPECT_EQ(updateTimeAfterSuccess(0, INT_MAX),
            static_cast<apr_time_t>(INT_MAX) * kSecond);  // 64-bit
  // Intervals that would make the thread spin, or overflow, are bounded.
  EXPECT_EQ(clampUpdateSeconds(30), 30);
  EXPECT_EQ(clampUpdateSeconds(0), 1);
  EXPECT_EQ(clampUpdateSeconds(-5), 1);
  EXPECT_EQ(clampUpdateSeconds(LONG_MAX), INT_MAX);
  EXPECT_TRUE(isUpdateDue(false, 0, now));  // first pass
  EXPECT_TRUE(isUpdateDue(false, now, now));
  EXPECT_FALSE(isUpdateDue(false, now + 1, now));
  EXPECT_TRUE(isUpdateDue(true, now + 500 * kSecond, now));
}

TEST(UpdateScheduleTest, WaitTurnsAndDebugRefresh) {
  const apr_time_t now = 100 * kSecond;
  EXPECT_EQ(waitTurnMicros(60, now + 300 * kSecond, now), 60 * kSecond);
  EXPECT_EQ(waitTurnMicros(600, now + 5 * kSecond, now), 5 * kSecond);
  EXPECT_LE(waitTurnMicros(600, now, now), 0);
  // Tenths of a second from the start of the wait: later turns of the same
  // wait, even ones shorter than the period, do not push the update away.
  const apr_time_t due = debugRefreshUpdateTime(now, 50);
  EXPECT_EQ(due, now + 5 * kSecond);
  EXPECT_GT(waitTurnMicros(1, due, now + 4 * kSecond), 0);
  EXPECT_LE(waitTurnMicros(1, due, now + 5 * kSecond), 0);
  EXPECT_EQ(debugRefreshUpdateTime(0, LONG_MAX),
            static_cast<apr_time_t>(INT_MAX) * (kSecond / 10));
}

TEST(ServerUrlTest, OneSlashSeparatesServerAndPage) {
  EXPECT_EQ(serverPageUrl("http://h:1/x", kUpdatePage), "http://h:1/x/vq.php");
  EXPECT_EQ(serverPageUrl("http://h:1/x/", kUpdatePage), "http://h:1/x/vq.php");
  EXPECT_EQ(serverPageUrl("http://h:1", kErrorPage), "http://h:1/vqerror.php");
}

// ---- Log tail ----

class LogTailTest : public EngineTest {
 protected:
  std::string Tail() {
    apr::Pool pool;
    return readLogTail("vq.log", "vq.log.1", kReportLogTailBytes, pool);
  }
  static std::string Filler(char c, std::size_t n) { return std::string(n, c); }
};

TEST_F(LogTailTest, TakesTheEndOfPreviousThenCurrentUpToTheLimit) {
  const std::string previous = Filler('a', 35000) + Filler('b', 15000);
  const std::string current = Filler('c', 5000);
  WriteDataFile("vq.log.1", previous);
  WriteDataFile("vq.log", current);
  EXPECT_EQ(Tail(), Filler('b', 15000) + current);

  const std::string big = Filler('d', 10000) + Filler('e', 20000);
  WriteDataFile("vq.log", big);
  EXPECT_EQ(Tail(), Filler('e', 20000));

  WriteDataFile("vq.log", Filler('f', 20000));
  EXPECT_EQ(Tail(), Filler('f', 20000));
}

TEST_F(LogTailTest, MissingFilesAreEmptyAndNulEndsTheText) {
  EXPECT_EQ(Tail(), "");
  WriteDataFile("vq.log", "only current");
  EXPECT_EQ(Tail(), "only current");
  WriteDataFile("vq.log.1", std::string("old\0hidden", 10));
  EXPECT_EQ(Tail(), "old");
}

// ---- Error report parameters ----

class ReportRequestTest : public EngineTest {
 protected:
  http::QueryString::Map Build(const VqException& error) {
    apr::Pool pool;
    UnsentWeb web(pool);
    FakeThreadExternal external(std::make_shared<ExternalRecord>());
    addErrorReportParameters(web, external, error, pool);
    body_ = web.body();
    return http::QueryString(body_.c_str()).parameters();
  }
  std::string body_;
};

TEST_F(ReportRequestTest, ParametersComeInProtocolOrderWithTheirValues) {
  VqApplication::setEnv(VqApplication::ID_FEED, 42L);
  VqApplication::setEnv(VqApplication::ID_APP, 7L);
  VqApplication::setUserIdProvider(nullptr);
  WriteDataFile("vqfeed.xml", "<vqfeed version=\"2.0\"/>");
  WriteDataFile("vq.log", "log line\n");
  auto params = Build(VqException("http://s/vq.php", VqException::zone(1),
                                  VqException::severity(2),
                                  VqException::code(250),
                                  std::string("bad sig & more")));
  std::size_t previous = 0;
  for (const char* name :
       {"build", "feedId", "appId", "os", "platform", "machineId", "errCode",
        "errDesc", "errZone", "errSeverity", "userId", "logFile", "feedFile",
        "lastUrl", "sign"}) {
    const std::size_t at = body_.find(std::string(name) + "=");
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_GE(at, previous) << name;
    previous = at;
  }
  EXPECT_EQ(params.size(), 15u);
  EXPECT_EQ(params["build"], "b-17");
  EXPECT_EQ(params["feedId"], "42");
  EXPECT_EQ(params["appId"], "7");
  EXPECT_EQ(params["errCode"], "250");
  EXPECT_EQ(params["errDesc"], "bad sig & more");
  EXPECT_EQ(params["errZone"], "1");
  EXPECT_EQ(params["errSeverity"], "2");
  EXPECT_EQ(params["userId"], "-1");
  EXPECT_EQ(params["logFile"], "log line\n");
  EXPECT_EQ(params["feedFile"], "<vqfeed version=\"2.0\"/>");
  EXPECT_EQ(params["lastUrl"], "http://s/vq.php");
  EXPECT_EQ(params["sign"], "true");
}

TEST_F(ReportRequestTest, NoUrlAndNoSigningAreSpelledOut) {
  VqApplication::setEnv(VqApplication::SECURE_SIGN, "no");
  auto params = Build(VqException("plain failure"));
  EXPECT_EQ(params["lastUrl"], "NO URL");
  EXPECT_EQ(params["errCode"], "110");
  EXPECT_EQ(params["feedFile"], "");
  EXPECT_EQ(params.count("sign"), 0u);
}

}  // namespace
}  // namespace engine_testing
