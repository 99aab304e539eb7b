#include "app/application_external_implementation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/vq_application.h"
#include "app_test_support.h"
#include "support/vq_exception.h"

namespace {

using Args = std::vector<std::string>;

// What the fake platform layer was asked to do.
struct HostRecord {
  int terminates = 0;
  std::vector<std::pair<std::string, Args>> opened;
  std::vector<void*> threadHooks;
};
HostRecord* record = nullptr;

class ExternalImplementationTest : public ::testing::Test {
 protected:
  ExternalImplementationTest() { record = &recorded; }
  ~ExternalImplementationTest() override { record = nullptr; }

  static VqHostCallback fakeHost() {
    VqHostCallback host;
    host.terminate = []() { ++record->terminates; };
    host.openDocument = [](const std::string& exe, const Args& args) {
      record->opened.emplace_back(exe, args);
      return 7;
    };
    host.getOS = []() { return "<os/>"; };
    host.getMacAddress = []() { return "00:11:22:33:44:55"; };
    host.threadInit = [](void* thread) { record->threadHooks.push_back(thread); };
    host.threadQuit = nullptr;  // optional slot
    return host;
  }

  vq_app_test::AprInit apr;
  HostRecord recorded;
  VqHostCallback host = fakeHost();
  VqApplication app{vq_app_test::testIdentity({"http://a/"}), &host};
  ApplicationExternalImplementation external{&app};
};

// The thread side reaches the host table through the application; optional
// slots may be left empty.
TEST_F(ExternalImplementationTest, ThreadSideReachesTheHost) {
  ThreadExternalInterface& thread = external;
  EXPECT_STREQ("<os/>", thread.getOS());
  EXPECT_STREQ("00:11:22:33:44:55", thread.getMachineId());
  VqThread* marker = reinterpret_cast<VqThread*>(&recorded);
  thread.threadInit(marker);
  thread.threadQuit(marker);
  thread.terminate();
  EXPECT_EQ(std::vector<void*>{marker}, recorded.threadHooks);
  EXPECT_EQ(1, recorded.terminates);
}

TEST_F(ExternalImplementationTest, QuitWakesTheUpdateThreadUpgradeDoesNot) {
  int wakes = 0;
  app.setUpdateWaker([&wakes]() { ++wakes; });
  TransactionalExternalInterface* transactional =
      external.getTransactionalExternalInterface();
  ASSERT_EQ(static_cast<TransactionalExternalInterface*>(&external),
            transactional);
  transactional->setUpgrade();
  EXPECT_TRUE(external.shouldQuit());
  EXPECT_FALSE(app.isQuitting());
  EXPECT_EQ(0, wakes);
  transactional->setQuit();
  EXPECT_TRUE(app.isQuitting());
  EXPECT_EQ(1, wakes);
}

TEST_F(ExternalImplementationTest, EmptyLaunchStartsTheDeliveredApplication) {
  VqApplication::setEnv(VqApplication::DIR_DATA, "/U/d");
  VqApplication::setEnv(VqApplication::SWF_APP, "Q.app");
  std::string exe;
  Args args;
  EXPECT_EQ(7, external.launchProcess(exe, args));
  // Before the command server runs its address is unknown and stays a
  // reference.
  EXPECT_EQ("/U/d/Q.app", exe);
  EXPECT_EQ(Args{"${mongoose.host}"}, args);

  VqApplication::setEnv(VqApplication::MONGOOSE_HOST, "127.0.0.1:8080");
  app.launchSwf();
  std::string named = "/other";
  Args namedArgs = {"--flag"};
  external.launchProcess(named, namedArgs);
  ASSERT_EQ(3u, recorded.opened.size());
  EXPECT_EQ(Args{"127.0.0.1:8080"}, recorded.opened[1].second);
  EXPECT_EQ("/other", recorded.opened[2].first);
  EXPECT_EQ(Args{"--flag"}, recorded.opened[2].second);
}

TEST(ExternalImplementationNullTest, MachineQueriesRefuseAMissingApplication) {
  ApplicationExternalImplementation external(nullptr);
  try {
    external.getMachineId();
    FAIL() << "getMachineId returned";
  } catch (const VqException& e) {
    EXPECT_STREQ("application->getMachineId() called but application==NULL!",
                 e.what());
    EXPECT_EQ(110, e.getErrorCode());
    EXPECT_EQ(0, e.getErrorZone());
    EXPECT_EQ(1, e.getErrorSeverity());
  }
  try {
    external.getOS();
    FAIL() << "getOS returned";
  } catch (const VqException& e) {
    EXPECT_STREQ("application->getOS to be called but application==NULL!",
                 e.what());
  }
}

TEST(VqApplicationInstanceTest, OneApplicationAtATimeWithOrWithoutAHost) {
  vq_app_test::AprInit apr;
  {
    VqApplication first(vq_app_test::testIdentity(), nullptr);
    EXPECT_EQ(&first, VqApplication::getApplication());
    try {
      VqApplication second(vq_app_test::testIdentity(), nullptr);
      FAIL() << "second application constructed";
    } catch (const std::string& text) {
      EXPECT_EQ("Attempt to call VqApplication::start twice", text);
    }
    EXPECT_EQ(&first, VqApplication::getApplication());
    // Without a platform layer the host-backed operations do nothing.
    std::string exe = "x";
    Args args;
    EXPECT_EQ(0, first.launchProcess(exe, args));
    EXPECT_STREQ("", first.getOS());
    EXPECT_EQ(nullptr, first.getMachineId());
    first.terminate();
    first.setQuit(true);
  }
  EXPECT_EQ(nullptr, VqApplication::getApplication());
}

}  // namespace
