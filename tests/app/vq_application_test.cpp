#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/vq_application.h"
#include "app_test_support.h"
#include "support/apr_pool.h"

namespace {

using Servers = std::vector<std::string>;
using Names = std::set<std::string>;

class VqApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::DIR_DATA, data.path());
  }
  void TearDown() override { VqApplication::setUserIdProvider(nullptr); }

  vq_app_test::AprInit apr;
  vq_testing::ScopedTempDir data;
};

TEST_F(VqApplicationTest, TypedWritesAndReads) {
  VqApplication::setEnv("n", -42L);
  const std::string longText(9000, 'v');
  VqApplication::setEnvf("long", "%s", longText.c_str());
  EXPECT_EQ(longText.substr(0, 8191), VqApplication::getEnv("long"));

  EXPECT_EQ(-42, VqApplication::getEnvl("n", 5));
  EXPECT_EQ(5, VqApplication::getEnvl("unset", 5));
  VqApplication::setEnv("n", "abc");
  EXPECT_EQ(0, VqApplication::getEnvl("n", 5));  // atol, not the default

  // Boolean: true only for the word "true", in any case.
  VqApplication::setEnv("flag", "TRUE");
  EXPECT_TRUE(VqApplication::getEnvBool("flag"));
  for (const char* no : {"1", "yes", "", "true "}) {
    VqApplication::setEnv("flag", no);
    EXPECT_FALSE(VqApplication::getEnvBool("flag")) << "'" << no << "'";
  }
}

// Every value read is one that some writer stored, whole, amid insertions.
TEST_F(VqApplicationTest, ConcurrentReadersAndWritersSeeWholeValues) {
  const Names values = {std::string(100, 'a'), std::string(3000, 'b'), "c"};
  std::atomic<int> torn{0};
  const auto work = [&values, &torn](int t) {
    for (int i = 0; i < 2000; ++i) {
      VqApplication::setEnv("shared", *std::next(values.begin(), (i + t) % 3));
      torn += values.count(VqApplication::getEnv("shared")) == 0;
      VqApplication::getEnv("reader." + std::to_string(i % 50));
    }
  };
  std::thread a(work, 0), b(work, 1), c(work, 2);
  a.join(), b.join(), c.join();
  EXPECT_EQ(0, torn);
}

TEST_F(VqApplicationTest, AcceptsOnlyTheDataDirectoryAndWhatLiesBelowIt) {
  apr::Pool pool;
  using Case = std::tuple<const char*, const char*, const char*>;
  const Case cases[] = {  // data directory, tested path, result
      {"/x/data", "sub/../file", "/x/data/file"},
      {"/x/data/", "f", "/x/data/f"},
      {"/x/data", "", "/x/data/"},
      {"/x/data", "../other", ""},
      {"/x/data", "/etc/hosts", ""},
      {"/x/data", "/x/data/../data/f", "/x/data/f"},
      // Siblings that merely share the name's beginning are outside.
      {"/x/data", "/x/database/f", ""},
      {"/x/data", "/x/data/../database/f", ""},
      // The data directory is compared in the merge's normal form.
      {"/home/u//data", "/home/u/data/f", "/home/u/data/f"},
      {"/home/u//data", "/home/u/database", ""},
      // Without a data directory nothing is beneath it.
      {"", "/etc/hosts", ""},
  };
  for (const auto& [dataDir, tested, expected] : cases) {
    EXPECT_EQ(expected, VqApplication::resolveInDataDir(dataDir, tested, pool))
        << dataDir << " + " << tested;
  }
}

// Connect servers first, then the defaults they lack; each group shows more
// than one order over repeated calls.
TEST_F(VqApplicationTest, ConnectServersFirstThenMissingDefaultsEachShuffled) {
  std::set<Servers> connectOrders, defaultOrders;
  for (int i = 0; i < 400; ++i) {
    Servers out = {"left", "over"};
    VqApplication::orderServers({"a", "b", "c"}, {"d", "b", "e", "f"}, &out);
    ASSERT_EQ(6u, out.size());
    ASSERT_EQ((Names{"a", "b", "c"}), Names(out.begin(), out.begin() + 3));
    ASSERT_EQ((Names{"d", "e", "f"}), Names(out.begin() + 3, out.end()));
    connectOrders.emplace(out.begin(), out.begin() + 3);
    defaultOrders.emplace(out.begin() + 3, out.end());
    if (connectOrders.size() > 1 && defaultOrders.size() > 1) break;
  }
  EXPECT_GT(connectOrders.size(), 1u);
  EXPECT_GT(defaultOrders.size(), 1u);
}

TEST_F(VqApplicationTest, ComputedVariablesIgnoreWrites) {
  VqApplication::setEnv(VqApplication::ID_USER, "stale");
  EXPECT_EQ("-1", VqApplication::getEnv(VqApplication::ID_USER));
  VqApplication::setUserIdProvider([]() -> long { return 4711; });
  EXPECT_EQ("4711", VqApplication::getEnv(VqApplication::ID_USER));
  EXPECT_EQ("", VqApplication::getEnv(VqApplication::SERVERS));  // no app
  VqApplication app(vq_app_test::testIdentity({"Y", "Z", "Y"}), nullptr);
  vq_app_test::ScopedLog log(&app);
  VqApplication::setEnv(VqApplication::SERVERS, "x");
  EXPECT_TRUE(log.hasLineEndingWith(
      "WARN VqApp : Trying to set computed variable: servers"));
  const std::string servers = VqApplication::getEnv(VqApplication::SERVERS);
  EXPECT_TRUE(servers == "Y,Z" || servers == "Z,Y") << servers;
  EXPECT_TRUE(log.hasLineEndingWith(
      "WARN VqApp : Error encountered reading vqConnectSettings: Error "
      "reading vqconnect file: Failed to open file"));
  // The file is read again on each call.
  vq_testing::WriteFile(data.Append("vqconnect.xml"),
                        "<vqconnect version='1.0'><server>X</server>"
                        "<server>Y</server></vqconnect>");
  Servers out;
  app.getAllServers(out);
  ASSERT_EQ(3u, out.size());
  EXPECT_EQ((Names{"X", "Y"}), Names(out.begin(), out.begin() + 2));
  EXPECT_EQ("Z", out[2]);
}

}  // namespace
