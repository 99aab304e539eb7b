// The login item starts the program that registered it, wherever and under
// whatever name its bundle was installed.

#include <limits.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

// The one Exec value of a desktop entry, its quoting undone.
std::string ExecOf(const std::string& entry) {
  const std::size_t at = entry.find("\nExec=\"");
  if (at == std::string::npos) return "";
  const std::size_t start = at + 7;
  return entry.substr(start, entry.find("\"\n", start) - start);
}

TEST(LoginItemExecTest, ARenamedBundleRegistersItsOwnExecutable) {
  vq_testing::ScopedTempDir root;
  const std::string bundle = root.Append("my app.app");
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle,
                        std::filesystem::copy_options::recursive);
  const std::string home = root.Append("home");
  vq_testing::MakeDirs(home);
  const std::string executable = bundle + "/Contents/MacOS/vqagent";

  const pid_t child = fork();
  if (child == 0) {
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    execl(executable.c_str(), executable.c_str(), "setstart",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);

  const std::string entry =
      vq_testing::ReadFile(home + "/.config/autostart/my app.desktop");
  const std::string exec = ExecOf(entry);
  char real[PATH_MAX];
  ASSERT_NE(realpath(executable.c_str(), real), nullptr);
  EXPECT_EQ(exec, real) << entry;
  EXPECT_TRUE(vq_testing::PathExists(exec)) << entry;
}

}  // namespace
