#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include <log4cpp/Category.hh>

#include "app/logging_config.h"
#include "app/vq_application.h"
#include "app_test_support.h"
#include "testing/file_util.h"

namespace {

using vq_app_test::ScopedLog;

class LoggingTest : public ::testing::Test {
 protected:
  vq_app_test::AprInit apr;
  VqApplication app{vq_app_test::testIdentity(), nullptr};
};

TEST_F(LoggingTest, StartsWithTheInitLineThenTheBufferedMessagesInOrder) {
  app.addStartupLog("Application instantiated");
  app.addStartupLog("second % not a format");
  EXPECT_EQ(nullptr, VqApplication::getLog());
  ScopedLog log(&app);
  ASSERT_NE(nullptr, VqApplication::getLog());
  app.addStartupLog("late");  // logged at once now

  const std::vector<std::string> lines = log.lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(\d{8}-\d\d:\d\d:\d\d\.\d{3} DEBUG VqApp : )"
                           R"(log4cpp framework is initialized\.)")))
      << lines[0];
  EXPECT_NE(std::string::npos,
            lines[1].find(" DEBUG VqApp : Application instantiated"));
  EXPECT_NE(std::string::npos,
            lines[2].find(" DEBUG VqApp : second % not a format"));
  EXPECT_NE(std::string::npos, lines[3].find(" DEBUG VqApp : late"));
  EXPECT_EQ(0600, vq_testing::FileMode(log.file()));
}

TEST_F(LoggingTest, TransactionBranchLogsOnlyWarningsAndWorse) {
  ScopedLog log(&app);
  log4cpp::Category& engine =
      log4cpp::Category::getInstance("transact.TransactionEngine");
  engine.debug("hidden debug");
  engine.info("hidden info");
  engine.warn("shown warning");
  log4cpp::Category::getInstance("VqThread").debug("other debug");
  EXPECT_FALSE(log.hasLineEndingWith("hidden debug"));
  EXPECT_FALSE(log.hasLineEndingWith("hidden info"));
  EXPECT_TRUE(
      log.hasLineEndingWith(" WARN transact.TransactionEngine : shown warning"));
  EXPECT_TRUE(log.hasLineEndingWith(" DEBUG VqThread : other debug"));
}

TEST_F(LoggingTest, ReconfiguringAppendsWithoutDoublingLines) {
  ScopedLog log(&app);
  app.configureLogging("app", log.file());  // again, without shutting down
  log4cpp::Category::getInstance("VqThread").info("once");
  VqApplication::shutdownLogging();
  EXPECT_EQ(nullptr, VqApplication::getLog());
  app.configureLogging("app", log.file());
  log4cpp::Category::getInstance("VqThread").info("after restart");

  int onceLines = 0;
  for (const std::string& line : log.lines()) {
    onceLines += line.find("VqThread : once") != std::string::npos;
  }
  EXPECT_EQ(1, onceLines);
  EXPECT_TRUE(log.hasLineEndingWith("VqThread : after restart"));
}

off_t fileSize(const std::string& file) {
  struct stat info;
  return stat(file.c_str(), &info) == 0 ? info.st_size : -1;
}

// Writes lines of about 1 KiB until `file` shrinks, i.e. has been rolled.
void logUntilRolled(const std::string& file) {
  log4cpp::Category& category = log4cpp::Category::getInstance("VqThread");
  const std::string filler(1000, 'f');
  off_t last = fileSize(file);
  for (int i = 0; i < 5000; ++i) {
    category.info("%06d %s", i, filler.c_str());
    const off_t now = fileSize(file);
    if (now < last) return;
    last = now;
  }
  FAIL() << "no roll after 5000 lines";
}

TEST_F(LoggingTest, RollsPastTwoMebibytesKeepingOnePrivateBackup) {
  ScopedLog log(&app);
  const std::string backup = log.file() + ".1";
  logUntilRolled(log.file());
  EXPECT_GE(fileSize(backup), static_cast<off_t>(kLogMaxFileSize));
  EXPECT_LT(fileSize(backup), static_cast<off_t>(kLogMaxFileSize + 2048));
  EXPECT_EQ(0600, vq_testing::FileMode(backup));
  EXPECT_EQ(0600, vq_testing::FileMode(log.file()));

  const std::string firstBackup = vq_testing::ReadFile(backup);
  logUntilRolled(log.file());
  EXPECT_NE(firstBackup, vq_testing::ReadFile(backup));
  EXPECT_FALSE(vq_testing::PathExists(log.file() + ".2"));
}

}  // namespace
