#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include <log4cpp/Category.hh>

#include "app/logging_config.h"
#include "app_test_support.h"
#include "lifecycle/vq_application.h"

namespace {

using vq_testing::FileMode;

class LoggingTest : public ::testing::Test {
 protected:
  VqApplication app{VqApplication::Identity(), nullptr};
};

// Init line and buffered start-up messages first; reconfiguring adds no second
// appender; the transaction branch logs only warnings and worse.
TEST_F(LoggingTest, StartupLinesFirstThenEachLineOnceTransactionsWarnOnly) {
  app.addStartupLog("Application instantiated");
  app.addStartupLog("second % not a format");
  vq_app_test::ScopedLog log(&app);
  app.addStartupLog("late");  // logged at once now
  const std::string stamp = R"(\d{8}-\d\d:\d\d:\d\d\.\d{3} DEBUG VqApp : )";
  EXPECT_TRUE(std::regex_match(
      log.text(), std::regex(stamp + R"(log4cpp framework is initialized\.\n)" + stamp +
                             "Application instantiated\n" + stamp + "second % not a format\n" +
                             stamp + "late\n")))
      << log.text();

  app.configureLogging("app", log.file);  // again, without shutting down
  log4cpp::Category::getInstance("VqThread").info("once");
  log4cpp::Category& engine = log4cpp::Category::getInstance("transact.TransactionEngine");
  engine.info("hidden");
  engine.warn("warn");
  VqApplication::shutdownLogging();
  app.configureLogging("app", log.file);
  log4cpp::Category::getInstance("VqThread").debug("after restart");
  const std::string text = log.text();
  EXPECT_TRUE(log.hasLineEndingWith(" INFO VqThread : once"));
  EXPECT_EQ(text.rfind("VqThread : once"), text.find("VqThread : once"));
  EXPECT_EQ(std::string::npos, text.find("hidden"));
  EXPECT_TRUE(log.hasLineEndingWith(" WARN transact.TransactionEngine : warn"));
  EXPECT_TRUE(log.hasLineEndingWith(" DEBUG VqThread : after restart"));
}

using std::filesystem::file_size;

// Writes lines of about 1 KiB until `file` shrinks, i.e. has been rolled.
void logUntilRolled(const std::string& file) {
  static int line = 0;
  for (uintmax_t last = 0; file_size(file) >= last;) {
    last = file_size(file);
    ASSERT_LT(last, 3u << 20) << "no roll";
    log4cpp::Category::getInstance("VqThread").info("%06d %s", ++line,
                                                    std::string(1000, 'f').c_str());
  }
}

TEST_F(LoggingTest, RollsPastTwoMebibytesKeepingOnePrivateBackup) {
  vq_app_test::ScopedLog log(&app);
  const std::string backup = log.file + ".1";
  logUntilRolled(log.file);
  EXPECT_GE(file_size(backup), kLogMaxFileSize);
  EXPECT_LT(file_size(backup), kLogMaxFileSize + 2048);
  EXPECT_EQ(0600, FileMode(backup));

  const std::string firstBackup = vq_testing::ReadFile(backup);
  logUntilRolled(log.file);
  EXPECT_NE(firstBackup, vq_testing::ReadFile(backup));
  EXPECT_FALSE(vq_testing::PathExists(log.file + ".2"));
}

}  // namespace
