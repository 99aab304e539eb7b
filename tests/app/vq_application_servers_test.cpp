#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/vq_application.h"
#include "app_test_support.h"
#include "testing/file_util.h"

namespace {

using Servers = std::vector<std::string>;
using Names = std::set<std::string>;

// Connect servers first, then the defaults they lack; each group shows more
// than one order over repeated calls.
TEST(OrderServersTest, ConnectServersFirstThenMissingDefaultsEachShuffled) {
  std::set<Servers> connectOrders;
  std::set<Servers> defaultOrders;
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

class GetAllServersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::DIR_DATA, data.path());
  }

  vq_app_test::AprInit apr;
  vq_testing::ScopedTempDir data;
};

TEST_F(GetAllServersTest, ServersVariableReadsTheConnectFileEachTime) {
  vq_testing::WriteFile(data.Append("vqconnect.xml"),
                        "<vqconnect version='1.0'><server>X</server>"
                        "<server>Y</server></vqconnect>");
  VqApplication app(vq_app_test::testIdentity({"Y", "Z", "Y"}), nullptr);
  const std::string servers = VqApplication::getEnv(VqApplication::SERVERS);
  EXPECT_TRUE(servers == "X,Y,Z" || servers == "Y,X,Z") << servers;

  vq_testing::WriteFile(data.Append("vqconnect.xml"),
                        "<vqconnect version='1.0'><server>W</server>"
                        "</vqconnect>");
  Servers out;
  app.getAllServers(out);
  ASSERT_EQ(3u, out.size());
  EXPECT_EQ("W", out[0]);
  EXPECT_EQ((Names{"Y", "Z"}), Names(out.begin() + 1, out.end()));
}

TEST_F(GetAllServersTest, UnusableFileIsLoggedAndDefaultsRemain) {
  VqApplication app(vq_app_test::testIdentity({"Z", "Z", "Q"}), nullptr);
  EXPECT_EQ((Servers{"Z", "Q"}), app.getDefaultServers());
  vq_app_test::ScopedLog log(&app);
  Servers out;
  app.getAllServers(out);
  EXPECT_EQ((Names{"Z", "Q"}), Names(out.begin(), out.end()));
  EXPECT_EQ(2u, out.size());
  EXPECT_TRUE(log.hasLineEndingWith(
      "WARN VqApp : Error encountered reading vqConnectSettings: Error "
      "reading vqconnect file: Failed to open file"));
}

}  // namespace
