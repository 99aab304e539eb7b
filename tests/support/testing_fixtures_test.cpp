#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace {

TEST(TestingFixturesTest, TempDirRemovesEverythingButLinkTargets) {
  vq_testing::ScopedTempDir outside;
  vq_testing::WriteFile(outside.Append("keep.txt"), "keep");
  std::string removed;
  {
    vq_testing::ScopedTempDir dir;
    removed = dir.path();
    vq_testing::WriteFile(dir.Append("locked/inner/file.txt"), "x");
    vq_testing::SetFileMode(dir.Append("locked"), 0500);
    ASSERT_EQ(0, ::symlink(outside.path().c_str(), dir.Append("ln").c_str()));
    EXPECT_NE(outside.path(), dir.path());
  }
  EXPECT_FALSE(vq_testing::PathExists(removed));
  EXPECT_EQ("keep", vq_testing::ReadFile(outside.Append("keep.txt")));
}

TEST(TestingFixturesTest, WaitForPollsUntilTrueOrDeadline) {
  std::atomic<bool> flag{false};
  std::thread setter([&] { flag = true; });
  EXPECT_TRUE(vq_testing::WaitFor([&] { return flag.load(); }));
  setter.join();
  EXPECT_FALSE(vq_testing::WaitFor([] { return false; },
                                   std::chrono::milliseconds(20)));
}

}  // namespace
