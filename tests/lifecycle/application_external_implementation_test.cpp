#include "lifecycle/application_external_implementation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_support.h"
#include "support/vq_exception.h"

namespace {

using Texts = std::vector<std::string>;
Texts calls;  // what the fake platform layer was asked

class ExternalImplementationTest : public ::testing::Test {
 protected:
  ExternalImplementationTest() {
    calls.clear();
    host.terminate = []() { calls.push_back("terminate"); };
    host.getMacAddress = []() { return "00:11:22:33:44:55"; };
  }

  VqHostCallback host{};  // getOS and the thread hooks stay empty
  VqApplication app{VqApplication::Identity(), &host};
  ApplicationExternalImplementation external{&app};
};

// Empty host slots are skipped.
TEST_F(ExternalImplementationTest, ReachesTheHostSkippingEmptySlots) {
  EXPECT_STREQ("00:11:22:33:44:55", external.getMachineId());
  EXPECT_STREQ("", external.getOS());
  external.threadInit(nullptr);
  external.threadQuit(nullptr);
  external.terminate();
  EXPECT_EQ(Texts{"terminate"}, calls);
}

TEST_F(ExternalImplementationTest, QuitWakesTheUpdateThreadUpgradeDoesNot) {
  int wakes = 0;
  app.setUpdateWaker([&wakes]() { ++wakes; });
  TransactionalExternalInterface& transactional = external;
  transactional.setUpgrade();
  EXPECT_TRUE(external.shouldQuit());
  EXPECT_FALSE(app.isQuitting());
  EXPECT_EQ(0, wakes);
  transactional.setQuit();
  EXPECT_TRUE(app.isQuitting());
  EXPECT_EQ(1, wakes);
}

TEST(ExternalImplementationNullTest, MachineQueriesRefuseAMissingApplication) {
  ApplicationExternalImplementation external(nullptr);
  Texts refusals;
  using External = ApplicationExternalImplementation;
  for (auto query : {&External::getMachineId, &External::getOS}) {
    try {
      (external.*query)();
    } catch (const VqException& e) {
      EXPECT_EQ(110, e.getErrorCode());
      refusals.push_back(e.what());
    }
  }
  EXPECT_EQ((Texts{"application->getMachineId() called but application==NULL!",
                   "application->getOS to be called but application==NULL!"}),
            refusals);
}

TEST(VqApplicationInstanceTest, OneApplicationAtATime) {
  {
    VqApplication first(VqApplication::Identity(), nullptr);
    try {
      VqApplication second(VqApplication::Identity(), nullptr);
      FAIL() << "second application constructed";
    } catch (const std::string& text) {
      EXPECT_EQ("Attempt to call VqApplication::start twice", text);
    }
    EXPECT_EQ(&first, VqApplication::getApplication());
    first.terminate();  // without a platform layer: nothing happens
  }
  EXPECT_EQ(nullptr, VqApplication::getApplication());
}

}  // namespace
