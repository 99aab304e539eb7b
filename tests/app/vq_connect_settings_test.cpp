#include "app/vq_connect_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using Servers = std::vector<std::string>;
using vq_testing::WriteFile;

class VqConnectSettingsTest : public ::testing::Test {
 protected:
  vq_testing::ScopedTempDir dir;
  std::string file = dir.Append("vqconnect.xml");
  VqConnectSettings settings{nullptr, file};
};

TEST_F(VqConnectSettingsTest, ReadsDirectServersInOrderWithoutDuplicates) {
  WriteFile(file,
            "<VQCONNECT version='1.0'>"
            "<server>http://a/</server><server>http://b/</server>"
            "<server>http://a/</server><server>HTTP://A/</server>"
            "<server></server><other>http://c/</other>"
            "<group><server>http://nested/</server></group></VQCONNECT>");
  EXPECT_EQ((Servers{"http://a/", "http://b/", "HTTP://A/"}),
            settings.getServers());
  EXPECT_TRUE(settings.isOk());
}

TEST_F(VqConnectSettingsTest, EachRefusalHasItsOwnText) {
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "Error reading vqconnect file: Failed to open file"},
      {"<vqconnect version='1.0'><server>", "Error reading vqconnect file: "},
      {"<settings version='1.0'/>", "Connect settings XML not recoginzed"},
      {"<vqconnect><server>s</server></vqconnect>",
       "ConnectSettings not version 1.0"},
      {"<vqconnect version='2.0'/>", "ConnectSettings not version 1.0"},
  };
  for (const auto& [contents, error] : cases) {
    if (contents != nullptr) WriteFile(file, contents);
    VqConnectSettings fresh(nullptr, file);
    EXPECT_TRUE(fresh.getServers().empty()) << error;
    EXPECT_FALSE(fresh.isOk()) << error;
    EXPECT_EQ(0u, fresh.getError().find(error)) << fresh.getError();
  }
}

// TinyXML alone would size a directory as a huge file and throw bad_alloc.
TEST_F(VqConnectSettingsTest, FailedReadKeepsTheListAndTheErrorSticks) {
  WriteFile(file, "<vqconnect version='1.0'><server>s</server></vqconnect>");
  EXPECT_EQ(Servers{"s"}, settings.getServers());
  std::remove(file.c_str());
  vq_testing::MakeDirs(file);  // a directory in place of the file
  EXPECT_EQ(Servers{"s"}, settings.getServers());
  EXPECT_EQ("Error reading vqconnect file: Failed to open file",
            settings.getError());
  std::remove(file.c_str());
  WriteFile(file, "<vqconnect version='1.0'><server>u</server></vqconnect>");
  EXPECT_EQ(Servers{"u"}, settings.getServers());
  EXPECT_FALSE(settings.isOk());
}

}  // namespace
