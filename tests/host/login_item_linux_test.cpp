#include "host/login_item.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

using vq_testing::ReadFile;

// The Exec value is quoted, with quoting and field-code characters escaped.
TEST(LoginItemTest, WritesOneEscapedEntryKeepingOthersAndRefusesBadPaths) {
  vq_testing::ScopedTempDir dir;
  const std::string autostart = dir.Append("config/autostart");
  vq_testing::WriteFile(autostart + "/other.desktop", "[Desktop Entry]\n");
  vq_testing::WriteFile(autostart + "/vqagent.desktop", "stale\n");
  ASSERT_TRUE(LoginItem(autostart + "/").registerStartItem(
      "/opt/Vq \"A\"`$\\%/vqagent.app/"));
  EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(autostart), {}))
      << "temporary file left behind";
  EXPECT_EQ("[Desktop Entry]\n", ReadFile(autostart + "/other.desktop"));
  EXPECT_EQ(
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=vqagent\n"
      "Exec=\"/opt/Vq \\\\\"A\\\\\"\\\\`\\\\$\\\\\\\\%%/vqagent.app/"
      "Contents/MacOS/vqagent\"\n"
      "Terminal=false\n"
      "Hidden=false\n"
      "X-GNOME-Autostart-enabled=true\n",
      ReadFile(autostart + "/vqagent.desktop"));
  EXPECT_EQ(0644, vq_testing::FileMode(autostart + "/vqagent.desktop"));

  const std::string created = dir.Append("new/autostart");
  ASSERT_TRUE(LoginItem(created).registerStartItem("/a/vqagent.app"));
  EXPECT_EQ(0700, vq_testing::FileMode(created));
  // A path that is no bundle is started as it is.
  EXPECT_NE(std::string::npos, LoginItem::entryText("/usr/bin/vqagent")
                                   .find("\nExec=\"/usr/bin/vqagent\"\n"));
  // Paths that would break the entry, and unwritable directories, fail.
  const std::string refusing = dir.Append("refusing");
  for (const char* bad : {"relative/vq.app", "/", "/a/vq.app\nExec=/bin/evil"}) {
    EXPECT_FALSE(LoginItem(refusing).registerStartItem(bad)) << bad;
  }
  EXPECT_FALSE(vq_testing::PathExists(refusing));
  vq_testing::WriteFile(dir.Append("file"), "");  // where the directory goes
  EXPECT_FALSE(LoginItem(dir.Append("file")).registerStartItem("/a/vq.app"));
}

TEST(LoginItemTest, DefaultDirectoryFollowsXdgConfigHomeThenHome) {
  const std::string home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  setenv("HOME", "/home/u", 1);
  setenv("XDG_CONFIG_HOME", "/cfg/", 1);
  EXPECT_EQ("/cfg/autostart", LoginItem::defaultAutostartDir());
  setenv("XDG_CONFIG_HOME", "cfg", 1);  // relative: ignored
  EXPECT_EQ("/home/u/.config/autostart", LoginItem::defaultAutostartDir());
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  EXPECT_EQ("", LoginItem::defaultAutostartDir());
  setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace host
