#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/vq_connect_settings.h"
#include "app_test_support.h"
#include "lifecycle/vq_application.h"

namespace {

using Servers = std::vector<std::string>;
using Names = std::set<std::string>;
using vq_testing::WriteFile;

class VqApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::DIR_DATA, data.path());
  }

  vq_testing::ScopedTempDir data;
};

TEST_F(VqApplicationTest, TypedWritesAndReads) {
  VqApplication::setEnvf("long", "%s", std::string(9000, 'v').c_str());
  EXPECT_EQ(std::string(8191, 'v'), VqApplication::getEnv("long"));
  VqApplication::setEnv("n", -42L);
  EXPECT_EQ(-42, VqApplication::getEnvl("n", 5));
  VqApplication::setEnv("n", "abc");
  EXPECT_EQ(0, VqApplication::getEnvl("n", 5));  // atol, not the default
  // Boolean: true only for the word "true", in any case.
  for (const char* flag : {"TRUE", "1", "true "}) {
    VqApplication::setEnv("flag", flag);
    EXPECT_EQ(flag[0] == 'T', VqApplication::getEnvBool("flag")) << flag;
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

// Each group is shuffled on its own; the output is replaced, not appended to.
TEST_F(VqApplicationTest, ConnectServersFirstThenDefaultsEachShuffled) {
  std::set<Servers> orders;
  for (int i = 0; i < 400 && orders.size() < 4; ++i) {
    Servers out = {"left", "over"};
    VqApplication::orderServers({"a", "b"}, {"c", "d"}, &out);
    orders.insert(out);
  }
  EXPECT_EQ((std::set<Servers>{{"a", "b", "c", "d"}, {"b", "a", "c", "d"},
                               {"a", "b", "d", "c"}, {"b", "a", "d", "c"}}),
            orders);
}

TEST_F(VqApplicationTest, ComputedVariablesIgnoreWrites) {
  VqApplication::setEnv(VqApplication::ID_USER, "stale");
  EXPECT_EQ("-1", VqApplication::getEnv(VqApplication::ID_USER));
  VqApplication::Identity identity;
  identity.defaultServers = {"Y", "Z", "Y"};
  VqApplication app(identity, nullptr);
  vq_app_test::ScopedLog log(&app);
  VqApplication::setEnv(VqApplication::SERVERS, "x");
  EXPECT_TRUE(log.hasLineEndingWith("WARN VqApp : Trying to set computed variable: servers"));
  const std::string servers = VqApplication::getEnv(VqApplication::SERVERS);
  EXPECT_TRUE(servers == "Y,Z" || servers == "Z,Y") << servers;
  EXPECT_TRUE(log.hasLineEndingWith(
      "WARN VqApp : Error encountered reading vqConnectSettings: Error "
      "reading vqconnect file: Failed to open file"));
  // The file is read again on each call; its servers lead.
  WriteFile(data.Append("vqconnect.xml"),
            "<vqconnect version='1.0'><server>X</server><server>Y</server></vqconnect>");
  Servers out;
  app.getAllServers(out);
  EXPECT_TRUE(out == Servers({"X", "Y", "Z"}) || out == Servers({"Y", "X", "Z"}));
}

// Direct non-empty <server> children in order, exact duplicates dropped. A
// failed read keeps the list (TinyXML alone would size a directory as a huge
// file and throw bad_alloc); the error sticks even after a good read. Each
// refusal has its own text.
TEST_F(VqApplicationTest, ConnectSettingsReadServersAndFailedReadsKeepThem) {
  const std::string file = data.Append("vqconnect.xml");
  VqConnectSettings settings(nullptr, file);
  WriteFile(file,
            "<VQCONNECT version='1.0'>"
            "<server>http://a/</server><server>http://b/</server>"
            "<server>http://a/</server><server>HTTP://A/</server>"
            "<server></server><other>http://c/</other>"
            "<group><server>http://nested/</server></group></VQCONNECT>");
  const Servers read = {"http://a/", "http://b/", "HTTP://A/"};
  EXPECT_EQ(read, settings.getServers());
  EXPECT_TRUE(settings.isOk());
  std::remove(file.c_str());
  vq_testing::MakeDirs(file);  // a directory in place of the file
  EXPECT_EQ(read, settings.getServers());
  EXPECT_EQ("Error reading vqconnect file: Failed to open file", settings.getError());
  std::remove(file.c_str());
  WriteFile(file, "<vqconnect version='1.0'><server>u</server></vqconnect>");
  EXPECT_EQ(Servers{"u"}, settings.getServers());
  EXPECT_FALSE(settings.isOk());  // the error sticks
  const std::pair<const char*, const char*> refusals[] = {
      {"<vqconnect version='1.0'><server>", "Error reading vqconnect file: "},
      {"<settings version='1.0'/>", "Connect settings XML not recoginzed"},
      {"<vqconnect version='2.0'><server>s</server></vqconnect>",
       "ConnectSettings not version 1.0"}};
  for (const auto& [contents, error] : refusals) {
    WriteFile(file, contents);
    VqConnectSettings fresh(nullptr, file);
    EXPECT_TRUE(fresh.getServers().empty()) << error;
    EXPECT_EQ(0u, fresh.getError().find(error)) << fresh.getError();
  }
}

}  // namespace
