#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include <log4cpp/Category.hh>

#include "app/logging_config.h"
#include "app/vq_application.h"
#include "app_test_support.h"

namespace {

using vq_app_test::ScopedLog;
using vq_testing::FileMode;

class LoggingTest : public ::testing::Test {
 protected:
  vq_app_test::AprInit apr;
  VqApplication app{vq_app_test::testIdentity(), nullptr};
};

// Init line and buffered start-up messages first; reconfiguring adds no second
// appender; the transaction branch logs only warnings and worse.
TEST_F(LoggingTest, StartupLinesFirstThenEachLineOnceTransactionsWarnOnly) {
  app.addStartupLog("Application instantiated");
  app.addStartupLog("second % not a format");
  EXPECT_EQ(nullptr, VqApplication::getLog());
  ScopedLog log(&app);
  app.addStartupLog("late");  // logged at once now
  const std::string stamp = R"(\d{8}-\d\d:\d\d:\d\d\.\d{3} DEBUG VqApp : )";
  EXPECT_TRUE(std::regex_match(
      log.text(), std::regex(stamp + R"(log4cpp framework is initialized\.\n)" +
                             stamp + "Application instantiated\n" + stamp +
                             "second % not a format\n" + stamp + "late\n")))
      << log.text();
  EXPECT_EQ(0600, FileMode(log.file()));

  app.configureLogging("app", log.file());  // again, without shutting down
  log4cpp::Category::getInstance("VqThread").info("once");
  log4cpp::Category& engine =
      log4cpp::Category::getInstance("transact.TransactionEngine");
  engine.info("hidden");
  engine.warn("warn");
  VqApplication::shutdownLogging();
  EXPECT_EQ(nullptr, VqApplication::getLog());
  app.configureLogging("app", log.file());
  log4cpp::Category::getInstance("VqThread").debug("after restart");
  const std::string text = log.text();
  EXPECT_TRUE(log.hasLineEndingWith(" INFO VqThread : once"));
  EXPECT_EQ(text.rfind("VqThread : once"), text.find("VqThread : once"));
  EXPECT_EQ(std::string::npos, text.find("hidden"));
  EXPECT_TRUE(log.hasLineEndingWith(" WARN transact.TransactionEngine : warn"));
  EXPECT_TRUE(log.hasLineEndingWith(" DEBUG VqThread : after restart"));
}

off_t fileSize(const std::string& file) {
  struct stat info;
  return stat(file.c_str(), &info) == 0 ? info.st_size : -1;
}

// Writes lines of about 1 KiB until `file` shrinks, i.e. has been rolled.
void logUntilRolled(const std::string& file) {
  const std::string filler(1000, 'f');
  static int line = 0;
  for (off_t last = 0; fileSize(file) >= last;) {
    last = fileSize(file);
    ASSERT_LT(last, 3 << 20) << "no roll";
    log4cpp::Category::getInstance("VqThread").info("%06d %s", ++line,
                                                    filler.c_str());
  }
}

TEST_F(LoggingTest, RollsPastTwoMebibytesKeepingOnePrivateBackup) {
  ScopedLog log(&app);
  const std::string backup = log.file() + ".1";
  logUntilRolled(log.file());
  EXPECT_GE(fileSize(backup), static_cast<off_t>(kLogMaxFileSize));
  EXPECT_LT(fileSize(backup), static_cast<off_t>(kLogMaxFileSize + 2048));
  EXPECT_EQ(0600, FileMode(backup));
  EXPECT_EQ(0600, FileMode(log.file()));

  const std::string firstBackup = vq_testing::ReadFile(backup);
  logUntilRolled(log.file());
  EXPECT_NE(firstBackup, vq_testing::ReadFile(backup));
  EXPECT_FALSE(vq_testing::PathExists(log.file() + ".2"));
}

}  // namespace
