#include "app/vq_connect_settings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using Servers = std::vector<std::string>;

class VqConnectSettingsTest : public ::testing::Test {
 protected:
  void write(const std::string& contents) {
    vq_testing::WriteFile(file, contents);
  }

  vq_testing::ScopedTempDir dir;
  std::string file = dir.Append("vqconnect.xml");
  VqConnectSettings settings{nullptr, file};
};

TEST_F(VqConnectSettingsTest, ReadsDirectServersInOrderWithoutDuplicates) {
  write(
      "<VQCONNECT version='1.0'>"
      "<server>http://a/</server><server>http://b/</server>"
      "<server>http://a/</server><server>HTTP://A/</server>"
      "<server></server><other>http://c/</other>"
      "<group><server>http://nested/</server></group></VQCONNECT>");
  EXPECT_EQ((Servers{"http://a/", "http://b/", "HTTP://A/"}),
            settings.getServers());
  EXPECT_TRUE(settings.isOk());
  std::ostringstream out;
  settings.debug(out);
  EXPECT_EQ("servers = [\"http://a/\",\"http://b/\",\"HTTP://A/\"]\n",
            out.str());
}

TEST_F(VqConnectSettingsTest, EachRefusalHasItsOwnText) {
  const struct {
    const char* contents;
    const char* error;
  } cases[] = {
      {nullptr, "Error reading vqconnect file: Failed to open file"},
      {"<vqconnect version='1.0'><server>", "Error reading vqconnect file: "},
      {"<settings version='1.0'/>", "Connect settings XML not recoginzed"},
      {"<vqconnect><server>s</server></vqconnect>",
       "ConnectSettings not version 1.0"},
      {"<vqconnect version='2.0'/>", "ConnectSettings not version 1.0"},
  };
  for (const auto& c : cases) {
    if (c.contents != nullptr) write(c.contents);
    VqConnectSettings fresh(nullptr, file);
    EXPECT_TRUE(fresh.isOk());  // nothing read yet
    EXPECT_TRUE(fresh.getServers().empty()) << c.error;
    EXPECT_FALSE(fresh.isOk()) << c.error;
    EXPECT_EQ(0u, fresh.getError().find(c.error)) << fresh.getError();
  }
}

// TinyXML alone would size a directory as a huge file and throw bad_alloc.
TEST_F(VqConnectSettingsTest, DirectoryInPlaceOfTheFileIsAReadFailure) {
  vq_testing::MakeDirs(file);
  EXPECT_TRUE(settings.getServers().empty());
  EXPECT_EQ("Error reading vqconnect file: Failed to open file",
            settings.getError());
}

TEST_F(VqConnectSettingsTest, FailedReadKeepsTheListAndTheErrorSticks) {
  write("<vqconnect version='1.0'><server>s</server></vqconnect>");
  EXPECT_EQ(Servers{"s"}, settings.getServers());
  EXPECT_EQ(Servers{"s"}, settings.getServers());
  write("<vqconnect version='9'><server>t</server></vqconnect>");
  EXPECT_EQ(Servers{"s"}, settings.getServers());
  write("<vqconnect version='1.0'><server>u</server></vqconnect>");
  EXPECT_EQ(Servers{"u"}, settings.getServers());
  EXPECT_FALSE(settings.isOk());
}

TEST_F(VqConnectSettingsTest, WriteIsRefused) {
  EXPECT_THROW(settings.write(), std::string);
}

}  // namespace
