#include "engine/engine_fixtures.h"

#include <apr_general.h>
#include <log4cpp/Category.hh>
#include <log4cpp/LoggingEvent.hh>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>

#include "app/vq_application.h"
#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace engine_testing {

namespace {

class AprEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { apr_initialize(); }
  void TearDown() override { apr_terminate(); }
};
const auto* const kAprEnvironment =
    ::testing::AddGlobalTestEnvironment(new AprEnvironment);

}  // namespace

void LogCapture::_append(const log4cpp::LoggingEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(log4cpp::Priority::getPriorityName(event.priority) + " " +
                   event.categoryName + ": " + event.message);
}

void LogCapture::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

int LogCapture::count(const std::string& text,
                      const std::string& priority) const {
  int found = 0;
  for (const std::string& line : lines()) {
    if (line.find(text) != std::string::npos && line.rfind(priority, 0) == 0) {
      ++found;
    }
  }
  return found;
}

LogCapture& EngineTest::log() {
  // Owned by the root category, for the life of the test program.
  static LogCapture* capture = [] {
    auto* appender = new LogCapture();
    log4cpp::Category::getRoot().removeAllAppenders();
    log4cpp::Category::getRoot().addAppender(appender);
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::DEBUG);
    return appender;
  }();
  return *capture;
}

void EngineTest::SetUp() {
  (void)kAprEnvironment;
  log().clear();
  dataDir_ = std::make_unique<vq_testing::ScopedTempDir>();
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
  previousDir_ = cwd;
  ASSERT_EQ(chdir(dataDir_->path().c_str()), 0);
  VqApplication::clearEnv();
  VqApplication::setEnv(VqApplication::SECURE_SIGN, "true");
  VqApplication::setEnv(VqApplication::DIR_DATA, dataDir_->path());
}

void EngineTest::TearDown() {
  if (HasFailure()) {
    for (const std::string& line : log().lines()) std::cerr << line << "\n";
  }
  ASSERT_EQ(chdir(previousDir_.c_str()), 0);
  dataDir_.reset();
  VqApplication::clearEnv();
}

std::string EngineTest::DataPath(const std::string& name) const {
  return dataDir_->Append(name);
}

void EngineTest::WriteDataFile(const std::string& name,
                               const std::string& contents) {
  vq_testing::WriteFile(DataPath(name), contents);
}

void EngineServerTest::TearDown() {
  StopThread();
  servers_.clear();
  EngineTest::TearDown();
}

VqserveProcess& EngineServerTest::StartServer(
    const std::vector<std::string>& args) {
  const std::string log = serverDir_.Append(
      "requests" + std::to_string(servers_.size()) + ".log");
  servers_.push_back(std::make_unique<VqserveProcess>(log, args));
  return *servers_.back();
}

std::string EngineServerTest::WriteDocument(const std::string& name,
                                            const std::string& xml) {
  vq_testing::WriteFile(serverDir_.Append(name), xml);
  return serverDir_.Append(name);
}

VqThread& EngineServerTest::StartThread(
    const std::vector<std::string>& servers) {
  record_->setServers(servers);
  thread_ = std::make_unique<VqThread>(new FakeThreadExternal(record_),
                                       nullptr);
  threadForHooks_.store(thread_.get());
  return *thread_;
}

void EngineServerTest::StopThread() {
  threadForHooks_.store(nullptr);
  thread_.reset();  // exits and joins
}

bool EngineServerTest::WaitForRequests(const VqserveProcess& server,
                                       const std::string& page,
                                       std::size_t count) {
  return vq_testing::WaitFor(
      [&] { return server.requests(page).size() >= count; },
      std::chrono::seconds(20));
}

bool EngineServerTest::WaitForLog(const std::string& text) {
  return vq_testing::WaitFor([&] { return log().count(text) > 0; },
                             std::chrono::seconds(20));
}

long EngineServerTest::LoggedSecondsToNextUpdate() {
  long seconds = -1;
  for (const std::string& line : log().lines()) {
    if (line.rfind("DEBUG VqThread: now = ", 0) != 0) continue;
    const std::size_t at = line.find(" : = ");
    if (at != std::string::npos) seconds = std::atol(line.c_str() + at + 5);
  }
  return seconds;
}

}  // namespace engine_testing
