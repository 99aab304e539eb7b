#include "engine/vq_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "app/vq_application.h"
#include "engine/engine_fixtures.h"
#include "testing/wait_for.h"

namespace engine_testing {
namespace {

using vq_testing::WaitFor;

std::string NoSlash(std::string url) {
  if (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

bool UpdateDone() {
  return !VqApplication::getEnv(VqApplication::UPDATE_LAST).empty();
}

class VqThreadTest : public EngineServerTest {};

TEST_F(VqThreadTest, FirstPassPostsIdentifiersThenTheFeedAtOnce) {
  WriteDataFile("state.txt", "local state");
  WriteDataFile("vqfeed.xml",
                "<vqfeed version=\"2.0\"><include file=\"state.txt\"/></vqfeed>");
  VqserveProcess& server = StartServer();
  StartThread({server.baseUrl()});
  ASSERT_TRUE(WaitFor(UpdateDone));

  const ServedRequest request = server.requests("vq.php").at(0);
  EXPECT_EQ(request.method + " " + request.uri, "POST /vq.php");
  EXPECT_EQ(request.names(),
            (std::vector<std::string>{"feedId", "build", "appId", "os",
                                      "platform", "machineId", "sign", "p1",
                                      "vq"}));
  for (const auto& [name, value] :
       {std::pair<const char*, const char*>{"feedId", "42"}, {"build", "b-17"},
        {"appId", "7"}, {"os", "Linux test/1.0"}, {"platform", "mac"},
        {"machineId", "00:11:22:33:44:55"}, {"sign", "true"},
        {"p1", "local state"}}) {
    EXPECT_EQ(request.param(name), value) << name;
  }
  EXPECT_NE(request.param("vq").find("param=\"p1\""), std::string::npos);
  // ctime form, e.g. "Sun Dec 06 18:00:00 2026".
  EXPECT_EQ(VqApplication::getEnv(VqApplication::UPDATE_LAST).size(), 24u);
  EXPECT_EQ(VqApplication::getEnvl(VqApplication::UPDATE_COUNT, 0), 1);
  EXPECT_EQ(record_->threadInits.load(), 1);
}

TEST_F(VqThreadTest, UnsignedAnswersAreAcceptedWhenSigningIsOff) {
  VqApplication::setEnv(VqApplication::SECURE_SIGN, "false");
  VqserveProcess& server = StartServer({"--no-sign"});
  StartThread({NoSlash(server.baseUrl())});
  ASSERT_TRUE(WaitFor(UpdateDone));
  const ServedRequest request = server.requests("vq.php").at(0);
  EXPECT_EQ(request.uri, "/vq.php");
  EXPECT_FALSE(request.has("sign"));
  EXPECT_NE(request.param("vq").find("NO_VQFEED_FILE"), std::string::npos);
  EXPECT_TRUE(server.requests("vqerror.php").empty());
}

// ---- Servers in order ----

TEST_F(VqThreadTest, DeadFirstServerFailsOverToTheNextAndStops) {
  VqserveProcess& live = StartServer();
  VqserveProcess& spare = StartServer();
  const std::string dead = DeadServerUrl();
  StartThread({dead, live.baseUrl(), spare.baseUrl()});
  ASSERT_TRUE(WaitFor(UpdateDone));
  StopThread();

  EXPECT_EQ(live.requests("vq.php").size(), 1u);
  EXPECT_TRUE(spare.requests().empty());
  EXPECT_EQ(log().count("Error on server " + dead + "vq.php", "ERROR"), 1);
  EXPECT_EQ(log().count("Failed to connect to any vq server"), 0);
  // The dead server's failure went to the first server that took reports.
  const auto reports = live.requests("vqerror.php");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].param("errCode"), "155");
  EXPECT_EQ(reports[0].param("lastUrl"), dead + "vq.php");
  EXPECT_EQ(LoggedSecondsToNextUpdate() / 10, 59);  // 600 s by default
}

TEST_F(VqThreadTest, WhenEveryServerFailsTheNextTryIsFiveMinutesLater) {
  const std::string deadA = DeadServerUrl();
  const std::string deadB = NoSlash(DeadServerUrl());
  StartThread({deadA, deadB});
  ASSERT_TRUE(WaitFor([&] { return LoggedSecondsToNextUpdate() >= 0; }));
  StopThread();
  EXPECT_EQ(log().count("Failed to connect to any vq server for update.",
                        "ERROR"),
            1);
  EXPECT_EQ(log().count("Error on server " + deadA + "vq.php", "ERROR"), 1);
  EXPECT_EQ(log().count("Error on server " + deadB + "/vq.php", "ERROR"), 1);
  EXPECT_GE(LoggedSecondsToNextUpdate(), 295);
  EXPECT_LE(LoggedSecondsToNextUpdate(), 300);
  EXPECT_FALSE(UpdateDone());
}

TEST_F(VqThreadTest, AnUpdateAbortedByAnExceptionIsReportedAndRetriedLater) {
  record_->failMachineId.store(true);
  VqserveProcess& server = StartServer();
  StartThread({server.baseUrl()});
  ASSERT_TRUE(WaitFor([&] { return LoggedSecondsToNextUpdate() >= 0; }));
  StopThread();
  // Once, then left for a later pass instead of retried at once, forever.
  EXPECT_EQ(log().count("Caught VqException: machine id unknown", "ERROR"), 1);
  EXPECT_GE(LoggedSecondsToNextUpdate(), 295);
  EXPECT_TRUE(server.requests().empty());
  // The report needs the machine id as well, so it is given up.
  EXPECT_EQ(log().count("error sending preparation: machine id unknown"), 1);
}

// ---- Schedule ----

TEST_F(VqThreadTest, TheServerIntervalSetsTheNextUpdate) {
  VqserveProcess& server = StartServer(
      {"--fixed", WriteDocument("30.xml", "<vq version=\"2.0\" update=\"30\"/>")});
  StartThread({server.baseUrl()});
  ASSERT_TRUE(WaitFor([&] { return LoggedSecondsToNextUpdate() >= 0; }));
  EXPECT_GE(LoggedSecondsToNextUpdate(), 28);
  EXPECT_LE(LoggedSecondsToNextUpdate(), 30);
}

TEST_F(VqThreadTest, ZeroIntervalRepeatsEverySecondRatherThanSpinning) {
  VqserveProcess& server = StartServer(
      {"--fixed", WriteDocument("0.xml", "<vq version=\"2.0\" update=\"0\"/>")});
  const auto start = std::chrono::steady_clock::now();
  StartThread({server.baseUrl()});
  ASSERT_TRUE(WaitForRequests(server, "vq.php", 3));
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(1900));
}

TEST_F(VqThreadTest, DebugRefreshOverridesTheServerInterval) {
  VqApplication::setEnv(VqApplication::DEBUG_REFRESH, "5");  // 0.5 s
  VqserveProcess& slow = StartServer();                     // asks for 600 s
  StartThread({slow.baseUrl()});
  ASSERT_TRUE(WaitForRequests(slow, "vq.php", 3));
  EXPECT_GE(log().count("debug.refresh set - overriding with update time of 0.5"),
            1);
  StopThread();

  // A server interval shorter than the refresh period must not put the
  // update off forever.
  VqApplication::setEnv(VqApplication::DEBUG_REFRESH, "15");
  VqserveProcess& quick = StartServer(
      {"--fixed", WriteDocument("1.xml", "<vq version=\"2.0\" update=\"1\"/>")});
  StartThread({quick.baseUrl()});
  ASSERT_TRUE(WaitForRequests(quick, "vq.php", 3));
}

// ---- wake, update, exit ----

TEST_F(VqThreadTest, WakeEndsTheSleepButOnlyUpdateUpdatesAndExitIsFinal) {
  VqserveProcess& server = StartServer();
  VqThread& thread = StartThread({server.baseUrl()});
  ASSERT_TRUE(WaitForLog("timediff : "));
  thread.wake();
  ASSERT_TRUE(WaitFor([] {
    return VqApplication::getEnvl(VqApplication::UPDATE_COUNT, 0) >= 2;
  }));
  EXPECT_EQ(server.requests("vq.php").size(), 1u);
  thread.update();
  ASSERT_TRUE(WaitForRequests(server, "vq.php", 2));

  thread.exit();
  EXPECT_EQ(record_->threadQuits.load(), 1);
  EXPECT_EQ(record_->terminates.load(), 1);
  thread.wake();
  thread.exit();
  thread.update();
  EXPECT_EQ(log().count("wake() called, but thread has already exited.", "WARN"),
            2);
  EXPECT_EQ(log().count("VqThread::exit() - thread has already exited."), 1);
  EXPECT_EQ(server.requests("vq.php").size(), 2u);
}

TEST_F(VqThreadTest, ExitDuringAPassWaitsForItAndStartsNoOther) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->onServerList = [&] {
      entered.set_value();
      released.wait();
    };
  }
  VqserveProcess& server = StartServer();
  VqThread& thread = StartThread({server.baseUrl()});
  entered.get_future().wait();
  auto exiting = std::async(std::launch::async, [&] { thread.exit(); });
  EXPECT_EQ(exiting.wait_for(std::chrono::milliseconds(300)),
            std::future_status::timeout);
  release.set_value();
  exiting.get();
  // The pass ran to its end but tried no server once exit was asked.
  EXPECT_EQ(record_->serverListCalls.load(), 1);
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(record_->terminates.load(), 1);
}

TEST_F(VqThreadTest, WakeAndUpdateFromTheUpdateThreadItselfDoNotDeadlock) {
  std::atomic<int> calls{0};
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->onServerList = [&] {
      if (calls++ != 0) return;
      WaitFor([&] { return threadForHooks_.load() != nullptr; });
      threadForHooks_.load()->wake();
      threadForHooks_.load()->update();
    };
  }
  VqserveProcess& server = StartServer();
  StartThread({server.baseUrl()});
  // The update asked for during the first pass follows it at once.
  ASSERT_TRUE(WaitForRequests(server, "vq.php", 2));
}

TEST_F(VqThreadTest, AQuitActionEndsTheThreadAfterItsPass) {
  VqserveProcess& server = StartServer(
      {"--fixed", WriteDocument("quit.xml", "<vq version=\"2.0\"><transaction>"
                                            "<quit/></transaction></vq>")});
  StartThread({server.baseUrl()});
  ASSERT_TRUE(WaitFor([&] { return record_->terminates.load() == 1; }));
  EXPECT_EQ(record_->threadQuits.load(), 1);
  EXPECT_EQ(server.requests("vq.php").size(), 1u);
}

}  // namespace
}  // namespace engine_testing
