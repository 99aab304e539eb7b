// The login item starts the program that registered it, wherever and under
// whatever name its bundle was installed.

#include <limits.h>
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "testing/child_process.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

TEST(LoginItemExecTest, ARenamedBundleRegistersItsOwnExecutable) {
  vq_testing::ScopedTempDir root;
  const std::string bundle = root.Append("my app.app"), home = root.Append("home");
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle, std::filesystem::copy_options::recursive);
  vq_testing::MakeDirs(home);
  const std::string executable = bundle + "/Contents/MacOS/vqagent";
  vq_testing::ChildProcess child({executable, "setstart"},
                                 {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config"},
                                 root.Append("setstart"));
  ASSERT_NE(child.Wait(), -1);
  // The one Exec value of the desktop entry, its quoting undone.
  const std::string entry = vq_testing::ReadFile(home + "/.config/autostart/my app.desktop");
  const std::size_t start = entry.find("\nExec=\"");
  ASSERT_NE(start, std::string::npos) << entry;
  const std::string exec = entry.substr(start + 7, entry.find("\"\n", start + 7) - start - 7);
  char real[PATH_MAX];
  ASSERT_NE(realpath(executable.c_str(), real), nullptr);
  EXPECT_EQ(exec, real) << entry;
  EXPECT_TRUE(vq_testing::PathExists(exec)) << entry;
}

}  // namespace
