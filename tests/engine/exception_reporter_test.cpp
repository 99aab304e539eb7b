#include "engine/exception_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/vq_application.h"
#include "engine/engine_fixtures.h"
#include "support/vq_exception.h"
#include "testing/wait_for.h"

namespace engine_testing {
namespace {

using vq_testing::WaitFor;

// ---- Reports made directly ----

class ExceptionReporterTest : public EngineServerTest {
 protected:
  void SetUp() override {
    EngineServerTest::SetUp();
    external_ = std::make_unique<FakeThreadExternal>(record_);
    ExceptionReporter::getReporter()->setExternal(external_.get());
  }
  void TearDown() override {
    ExceptionReporter::getReporter()->clearExternal(external_.get());
    EngineServerTest::TearDown();
  }

  void Report(VqException error) {
    ExceptionReporter::getReporter()->report(error);
  }

  std::unique_ptr<FakeThreadExternal> external_;
};

TEST_F(ExceptionReporterTest, FirstAcceptingServerGetsTheOnlyReport) {
  WriteDataFile("vq.log.1", std::string(30000, 'o'));
  WriteDataFile("vq.log", "recent line\n");
  VqserveProcess& first = StartServer();
  VqserveProcess& second = StartServer();
  const std::string dead = DeadServerUrl();
  record_->setServers({dead, first.baseUrl(), second.baseUrl()});

  Report(VqException("no url here"));

  const auto reports = first.requests("vqerror.php");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].param("lastUrl"), "NO URL");
  EXPECT_EQ(reports[0].param("errCode"), "110");
  const std::string tail = reports[0].param("logFile");
  EXPECT_EQ(tail.size(), 20000u);
  EXPECT_EQ(tail.substr(tail.size() - 12), "recent line\n");
  EXPECT_TRUE(second.requests().empty());
  EXPECT_EQ(log().count("Exception encountered during ExceptionReporting to "
                        "server " + dead + "vqerror.php",
                        "ERROR"),
            1);
}

TEST_F(ExceptionReporterTest, AReplyThatFailsItsChecksMovesOnToTheNextServer) {
  VqserveProcess& unsigned_ = StartServer({"--no-sign"});
  VqserveProcess& good = StartServer();
  record_->setServers({unsigned_.baseUrl(), good.baseUrl()});
  Report(VqException("u", "x"));
  EXPECT_EQ(unsigned_.requests("vqerror.php").size(), 1u);
  EXPECT_EQ(good.requests("vqerror.php").size(), 1u);
}

TEST_F(ExceptionReporterTest, TheReplyRunsAsActionsWithoutAnotherReport) {
  const std::string reply = WriteDocument(
      "reply.xml",
      "<vq version=\"2.0\">"
      "<transaction><set name=\"reply.ran\" value=\"yes\"/></transaction>"
      "<transaction><error description=\"from reply\" code=\"901\"/></transaction>"
      "</vq>");
  VqserveProcess& server = StartServer({"--error-actions", reply});
  record_->setServers({server.baseUrl()});
  Report(VqException("u", "x"));
  EXPECT_EQ(VqApplication::getEnv("reply.ran"), "yes");
  // The reply's own error was not sent back.
  EXPECT_EQ(server.requests("vqerror.php").size(), 1u);
}

TEST_F(ExceptionReporterTest, AReportMadeDuringAReportIsDropped) {
  VqserveProcess& server = StartServer();
  record_->setServers({server.baseUrl()});
  int nested = 0;
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->onServerList = [&] {
      if (nested++ == 0) {
        VqException inner("inner");
        ExceptionReporter::getReporter()->report(inner);
      }
    };
  }
  Report(VqException("outer"));
  const auto reports = server.requests("vqerror.php");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].param("errDesc"), "outer");

  // The flag is cleared afterwards: the next report goes out.
  Report(VqException("later"));
  EXPECT_EQ(server.requests("vqerror.php").size(), 2u);
}

TEST_F(ExceptionReporterTest, WithoutAnApplicationInterfaceNothingIsSent) {
  VqserveProcess& server = StartServer();
  record_->setServers({server.baseUrl()});
  ExceptionReporter::getReporter()->clearExternal(external_.get());
  Report(VqException("x"));
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(log().count("report dropped", "ERROR"), 1);
}

// ---- Failures of update answers reach the servers ----

class UpdateFailureReportTest : public EngineServerTest {
 protected:
  // Runs one update against a server started with `args` and returns the
  // error code of the report that the failure produced.
  std::string ReportedCode(const std::vector<std::string>& args) {
    VqserveProcess& server = StartServer(args);
    StartThread({server.baseUrl()});
    EXPECT_TRUE(WaitForRequests(server, "vqerror.php", 1));
    StopThread();
    const auto reports = server.requests("vqerror.php");
    if (reports.empty()) return "none";
    EXPECT_EQ(reports[0].param("lastUrl"), server.baseUrl() + "vq.php");
    EXPECT_EQ(reports[0].param("build"), "b-17");
    return reports[0].param("errCode");
  }
};

TEST_F(UpdateFailureReportTest, EveryEnvelopeFailureIsReportedWithItsCode) {
  EXPECT_EQ(ReportedCode({"--no-sign"}), "245");
  EXPECT_EQ(ReportedCode({"--bad-sign"}), "250");
  EXPECT_EQ(ReportedCode({"--fixed", WriteDocument("text.xml", "not xml at all")}),
            "105");
  EXPECT_EQ(ReportedCode({"--fixed", WriteDocument("html.xml",
                                                   "<html><body>down</body></html>")}),
            "5");
  EXPECT_EQ(ReportedCode({"--fixed", WriteDocument("old.xml", "<vq version=\"1.0\"/>")}),
            "10");
  // None of these counts as a successful update.
  EXPECT_TRUE(VqApplication::getEnv(VqApplication::UPDATE_LAST).empty());
  EXPECT_EQ(log().count("Failed to connect to any vq server for update."), 5);
}

TEST_F(UpdateFailureReportTest, AFailedTransactionIsReportedAndTheUpdateStillCounts) {
  const std::string document = WriteDocument(
      "fails.xml",
      "<vq version=\"2.0\" update=\"40\"><transaction>"
      "<error description=\"server says no\" zone=\"1\" severity=\"2\" code=\"777\"/>"
      "</transaction></vq>");
  EXPECT_EQ(ReportedCode({"--fixed", document}), "777");
  EXPECT_FALSE(VqApplication::getEnv(VqApplication::UPDATE_LAST).empty());
  EXPECT_GE(LoggedSecondsToNextUpdate(), 38);
  EXPECT_LE(LoggedSecondsToNextUpdate(), 40);
}

}  // namespace
}  // namespace engine_testing
