#include "host/login_item.h"

#include <dirent.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

using vq_testing::ReadFile;

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

TEST(LoginItemTest, WritesOneVisibleEntryStartingTheBundleExecutable) {
  vq_testing::ScopedTempDir dir;
  const std::string autostart = dir.Append("config/autostart");
  LoginItem item(autostart);
  ASSERT_TRUE(item.registerStartItem("/opt/Vq Agent/vqagent.app"));
  EXPECT_EQ((std::vector<std::string>{"vqagent.desktop"}), ListDir(autostart));
  EXPECT_EQ(
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=vqagent\n"
      "Exec=\"/opt/Vq Agent/vqagent.app/Contents/MacOS/vqagent\"\n"
      "Terminal=false\n"
      "Hidden=false\n"
      "X-GNOME-Autostart-enabled=true\n",
      ReadFile(autostart + "/vqagent.desktop"));
  EXPECT_EQ(0700, vq_testing::FileMode(autostart));
  EXPECT_EQ(0644, vq_testing::FileMode(autostart + "/vqagent.desktop"));
}

TEST(LoginItemTest, RegisteringAgainRewritesTheSameEntryAndKeepsOthers) {
  vq_testing::ScopedTempDir dir;
  vq_testing::WriteFile(dir.Append("other.desktop"), "[Desktop Entry]\n");
  vq_testing::WriteFile(dir.Append("vqagent.desktop"), "stale\n");
  LoginItem item(dir.path() + "/");
  ASSERT_TRUE(item.registerStartItem("/a/vqagent.app/"));
  ASSERT_TRUE(item.registerStartItem("/a/vqagent.app"));
  EXPECT_EQ(2u, ListDir(dir.path()).size()) << "temporary file left behind";
  EXPECT_EQ("[Desktop Entry]\n", ReadFile(dir.Append("other.desktop")));
  EXPECT_EQ(LoginItem::entryText("/a/vqagent.app"),
            ReadFile(dir.Append("vqagent.desktop")));
  EXPECT_EQ(dir.Append("vqagent.desktop"), item.entryPathFor("/a/vqagent.app"));
}

TEST(LoginItemTest, ExecValueEscapesQuotingAndFieldCodeCharacters) {
  const std::string text = LoginItem::entryText("/x/a\"b`c$d\\e%f/N.app");
  EXPECT_NE(std::string::npos,
            text.find("Exec=\"/x/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f/N.app/"
                      "Contents/MacOS/N\"\n"))
      << text;
  // A path that is no bundle is started as it is.
  EXPECT_NE(std::string::npos,
            LoginItem::entryText("/usr/bin/vqagent").find(
                "Exec=\"/usr/bin/vqagent\"\n"));
}

TEST(LoginItemTest, RefusesPathsThatWouldBreakTheEntryAndUnwritableDirs) {
  vq_testing::ScopedTempDir dir;
  LoginItem item(dir.path());
  EXPECT_FALSE(item.registerStartItem(""));
  EXPECT_FALSE(item.registerStartItem("relative/vq.app"));
  EXPECT_FALSE(item.registerStartItem("/a/vq.app\nExec=/bin/evil"));
  EXPECT_FALSE(item.registerStartItem("/a/v\rq.app"));
  EXPECT_FALSE(item.registerStartItem("/"));
  EXPECT_TRUE(ListDir(dir.path()).empty());
  vq_testing::WriteFile(dir.Append("file"), "");
  EXPECT_FALSE(LoginItem(dir.Append("file/autostart"))
                   .registerStartItem("/a/vqagent.app"));
}


TEST(LoginItemTest, DefaultDirectoryFollowsXdgConfigHomeThenHome) {
  const std::string home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  setenv("HOME", "/home/u", 1);
  setenv("XDG_CONFIG_HOME", "/cfg/", 1);
  EXPECT_EQ("/cfg/autostart", LoginItem::defaultAutostartDir());
  setenv("XDG_CONFIG_HOME", "cfg", 1);  // relative: invalid, ignored
  EXPECT_EQ("/home/u/.config/autostart", LoginItem::defaultAutostartDir());
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ("/home/u/.config/autostart", LoginItem::defaultAutostartDir());
  unsetenv("HOME");
  EXPECT_EQ("", LoginItem::defaultAutostartDir());
  setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace host
