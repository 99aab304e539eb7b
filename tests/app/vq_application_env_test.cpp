#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/vq_application.h"
#include "app_test_support.h"

namespace {

using vq_app_test::AprInit;
using vq_app_test::ScopedLog;
using vq_app_test::testIdentity;

class VariablesTest : public ::testing::Test {
 protected:
  void SetUp() override { VqApplication::clearEnv(); }
  void TearDown() override { VqApplication::setUserIdProvider(nullptr); }
};

TEST_F(VariablesTest, ReadingAnUnknownNameEntersItEmpty) {
  EXPECT_EQ("", VqApplication::getEnv("never.set"));
  const auto map = VqApplication::getEnvMap();
  ASSERT_EQ(1u, map.count("never.set"));
  EXPECT_EQ("", map.at("never.set"));
}

TEST_F(VariablesTest, TypedWritesAndReads) {
  VqApplication::setEnv("n", -42L);
  VqApplication::setEnv("zero", 0);
  EXPECT_EQ("-42", VqApplication::getEnv("n"));
  EXPECT_EQ("0", VqApplication::getEnv("zero"));

  const std::string longText(9000, 'v');
  VqApplication::setEnvf("long", "%s", longText.c_str());
  EXPECT_EQ(longText.substr(0, 8191), VqApplication::getEnv("long"));

  EXPECT_EQ(0, VqApplication::getEnvl(VqApplication::DEBUG_REFRESH, 0));
  VqApplication::setEnv(VqApplication::DEBUG_REFRESH, "50");
  EXPECT_EQ(50, VqApplication::getEnvl(VqApplication::DEBUG_REFRESH, 0));
  VqApplication::setEnv("n", "abc");
  EXPECT_EQ(0, VqApplication::getEnvl("n", 5));  // atol, not the default
}

TEST_F(VariablesTest, BooleanIsTrueOnlyForTheWordTrue) {
  for (const char* yes : {"true", "TRUE", "True"}) {
    VqApplication::setEnv("flag", yes);
    EXPECT_TRUE(VqApplication::getEnvBool("flag")) << yes;
  }
  for (const char* no : {"1", "yes", "", "true "}) {
    VqApplication::setEnv("flag", no);
    EXPECT_FALSE(VqApplication::getEnvBool("flag")) << "'" << no << "'";
  }
}

TEST_F(VariablesTest, UserIdIsComputedOnEveryRead) {
  EXPECT_EQ("-1", VqApplication::getEnv(VqApplication::ID_USER));
  VqApplication::setEnv(VqApplication::ID_USER, "stale");
  EXPECT_EQ("-1", VqApplication::getEnv(VqApplication::ID_USER));
  VqApplication::setUserIdProvider([]() -> long { return 4711; });
  EXPECT_EQ("4711", VqApplication::getEnv(VqApplication::ID_USER));
}

TEST_F(VariablesTest, ServersAreComputedAndSettingThemIsLogged) {
  EXPECT_EQ("", VqApplication::getEnv(VqApplication::SERVERS));  // no app
  AprInit apr;
  vq_testing::ScopedTempDir data;
  VqApplication::setEnv(VqApplication::DIR_DATA, data.path());
  VqApplication app(testIdentity({"http://z/"}), nullptr);
  ScopedLog log(&app);

  VqApplication::setEnv(VqApplication::SERVERS, "x");
  EXPECT_TRUE(log.hasLineEndingWith(
      "WARN VqApp : Trying to set computed variable: servers"));
  EXPECT_EQ("http://z/", VqApplication::getEnv(VqApplication::SERVERS));
}

// Readers keep their copies while writers replace the value: every value read
// must be one that some writer stored, whole.
TEST_F(VariablesTest, ConcurrentReadersAndWritersSeeWholeValues) {
  const std::vector<std::string> values = {std::string(100, 'a'),
                                           std::string(3000, 'b'), "c"};
  VqApplication::setEnv("shared", values[0]);
  std::atomic<bool> torn{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&values, t]() {
      for (int i = 0; i < 2000; ++i) {
        VqApplication::setEnv("shared", values[(i + t) % values.size()]);
      }
    });
    threads.emplace_back([&values, &torn]() {
      for (int i = 0; i < 2000; ++i) {
        const std::string seen = VqApplication::getEnv("shared");
        if (seen != values[0] && seen != values[1] && seen != values[2]) {
          torn = true;
        }
        VqApplication::getEnv("reader." + std::to_string(i % 50));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(torn);
}

}  // namespace
