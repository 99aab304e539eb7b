#include "host/detached_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "launch_record.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace host {
namespace {

using host_test::AwaitRecord;
using host_test::RecordTo;
using vq_testing::PathExists;
using vq_testing::WaitFor;

bool gone(pid_t pid) {
  return !PathExists("/proc/" + std::to_string(pid));
}

// Sets the signal mask and the SIGTERM disposition for the test's life, the
// way the agent's main thread might have them.
class HostileSignalState {
 public:
  HostileSignalState() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &ignore, &previousTerm_);
  }
  ~HostileSignalState() {
    sigaction(SIGTERM, &previousTerm_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
  }

 private:
  sigset_t previousMask_;
  struct sigaction previousTerm_;
};

TEST(DetachedProcessTest, ChildGetsArgvCleanSignalsOwnSessionNoInheritedFds) {
  vq_testing::ScopedTempDir dir;
  RecordTo(dir.Append("record"));
  int leaked[2];
  ASSERT_EQ(0, pipe(leaked));  // deliberately without close-on-exec
  SpawnOutcome outcome;
  {
    HostileSignalState hostile;
    outcome = spawnDetached(VQ_ARGV_RECORDER,
                            {"/given/argv0", "two words", "", "ünï"});
  }
  close(leaked[0]);
  close(leaked[1]);
  ASSERT_EQ(0, outcome.error);
  const host_test::LaunchRecord record = AwaitRecord(dir.Append("record"));
  EXPECT_EQ((std::vector<std::string>{"/given/argv0", "two words", "", "ünï"}),
            record.args);
  EXPECT_EQ(std::to_string(outcome.pid), record.values.at("pid"));
  EXPECT_EQ(record.values.at("pid"), record.values.at("sid"))
      << "not a session leader";
  EXPECT_EQ("0", record.values.at("blocked"));
  EXPECT_EQ("1", record.values.at("termdefault"));
  EXPECT_EQ("/dev/null", record.values.at("stdin"));
  for (const std::string& fd : record.fds) {
    EXPECT_LE(std::stoi(fd), 2) << "descriptor " << fd << " leaked";
  }
  EXPECT_TRUE(WaitFor([&] { return gone(outcome.pid); })) << "zombie left";
}

TEST(DetachedProcessTest, ReturnsWhileChildRunsAndReapsItAfterwards) {
  vq_testing::ScopedTempDir dir;
  RecordTo(dir.Append("record"));
  setenv("VQ_RECORD_HOLD", dir.Append("go").c_str(), 1);
  const SpawnOutcome outcome = spawnDetached(VQ_ARGV_RECORDER, {"held"});
  unsetenv("VQ_RECORD_HOLD");
  ASSERT_EQ(0, outcome.error);
  EXPECT_EQ(0, kill(outcome.pid, 0)) << "child already gone";
  EXPECT_FALSE(PathExists(dir.Append("record")));
  vq_testing::WriteFile(dir.Append("go"), "");
  EXPECT_EQ("held", AwaitRecord(dir.Append("record")).args.at(0));
  EXPECT_TRUE(WaitFor([&] { return gone(outcome.pid); })) << "zombie left";
}

TEST(DetachedProcessTest, FailuresAreReportedAsErrno) {
  vq_testing::ScopedTempDir dir;
  EXPECT_EQ(ENOENT, spawnDetached(dir.Append("missing"), {"x"}).error);
  EXPECT_EQ(ENOENT, spawnDetached("", {}).error);
  vq_testing::WriteFile(dir.Append("plain"), "not a program");
  EXPECT_EQ(EACCES, spawnDetached(dir.Append("plain"), {"x"}).error);
  EXPECT_EQ(EACCES, spawnDetached(dir.path(), {"x"}).error);
  EXPECT_EQ(EINVAL,
            spawnDetached(VQ_ARGV_RECORDER, {std::string("a\0b", 3)}).error);
  // A bare name is not looked up in PATH unless asked.
  EXPECT_NE(0, spawnDetached("sh", {"sh", "-c", "true"}).error);
  EXPECT_EQ(0, spawnDetached("sh", {"sh", "-c", "true"}, true).error);
}

}  // namespace
}  // namespace host
