#include "host/instance_lock.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

using std::chrono::milliseconds;

TEST(InstanceLockTest, OneHolderAtATimeNamedByItsPid) {
  vq_testing::ScopedTempDir temp;
  const std::string file = temp.Append("App.lock");
  pid_t holder = -1;
  auto first = InstanceLock::acquire(file, milliseconds(0), &holder);
  ASSERT_TRUE(first);
  EXPECT_EQ(std::to_string(getpid()) + "\n", vq_testing::ReadFile(file));
  // Another open of the same file is another holder, even in this process.
  EXPECT_FALSE(InstanceLock::acquire(file, milliseconds(100), &holder));
  EXPECT_EQ(getpid(), holder);
  // Released by its owner: a waiting start gets it.
  std::thread release([&first] {
    std::this_thread::sleep_for(milliseconds(200));
    first.reset();
  });
  EXPECT_TRUE(InstanceLock::acquire(file, milliseconds(10000), &holder));
  release.join();
  EXPECT_THROW(InstanceLock::acquire(temp.Append("none/App.lock"),
                                     milliseconds(0), &holder),
               std::runtime_error);
}

TEST(InstanceLockTest, LaunchedProgramsDoNotInheritIt) {
  vq_testing::ScopedTempDir temp;
  const std::string file = temp.Append("App.lock");
  pid_t holder = -1;
  auto lock = InstanceLock::acquire(file, milliseconds(0), &holder);
  ASSERT_TRUE(lock);
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  lock.reset();
  EXPECT_TRUE(InstanceLock::acquire(file, milliseconds(2000), &holder));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace host
