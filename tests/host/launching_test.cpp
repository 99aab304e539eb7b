#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/detached_process.h"
#include "host/launcher.h"
#include "testing/file_util.h"
#include "testing/log_capture.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace host {
namespace {

using Strings = std::vector<std::string>;
using vq_testing::PathExists;
using vq_testing::WaitFor;

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class LaunchTest : public ::testing::Test {
 protected:
  LaunchTest() { setenv("VQ_RECORD_FILE", record_.c_str(), 1); }

  // The next record's values by key (empty when none came), then removed.
  std::map<std::string, Strings> AwaitRecord() {
    std::map<std::string, Strings> record;
    if (!WaitFor([&] { return PathExists(record_); })) return record;
    std::istringstream lines(vq_testing::ReadFile(record_));
    for (std::string line; std::getline(lines, line);) {
      const std::size_t equals = line.find('=');
      record[line.substr(0, equals)].push_back(line.substr(equals + 1));
    }
    unlink(record_.c_str());
    return record;
  }

  vq_testing::ScopedTempDir dir_;
  const std::string record_ = dir_.Append("record");
  vq_testing::LogCapture openLog_{"vq.callback.openDocument"};
  vq_testing::LogCapture launchLog_{"vq.callback.launchApplication"};
};

TEST_F(LaunchTest, ChildStartsInItsOwnSessionWithCleanStateAndOnlyItsArgv) {
  int leaked[2];
  ASSERT_EQ(0, pipe(leaked));  // deliberately without close-on-exec
  // Blocked and ignored signals, as the agent's main thread may have them.
  sigset_t all, previous_mask;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous_mask);
  const auto previous_term = signal(SIGTERM, SIG_IGN);
  const Strings argv = {"/given/argv0", "two words", "", "ünï"};
  const SpawnOutcome outcome = spawnDetached(VQ_ARGV_RECORDER, argv);
  signal(SIGTERM, previous_term);
  pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  close(leaked[0]), close(leaked[1]);
  ASSERT_EQ(0, outcome.error);
  auto record = AwaitRecord();
  EXPECT_EQ(argv, record["arg"]);
  EXPECT_EQ(Strings{std::to_string(outcome.pid)}, record["sid"]) << "no session";
  EXPECT_EQ(Strings{"0"}, record["blocked"]);
  EXPECT_EQ(Strings{"1"}, record["termdefault"]);
  EXPECT_EQ(Strings{"/dev/null"}, record["stdin"]);
  EXPECT_EQ(Strings{}, record["fd"]) << "descriptors leaked";
}

TEST_F(LaunchTest, SpawnReturnsAtOnceAndReapsTheChildOrRefusesBadInput) {
  EXPECT_EQ(EINVAL,
            spawnDetached(VQ_ARGV_RECORDER, {std::string("a\0b", 3)}).error);
  // A bare name is looked up in PATH only when asked.
  EXPECT_NE(0, spawnDetached("sleep", {"sleep", "20"}).error);
  const auto start = std::chrono::steady_clock::now();
  const SpawnOutcome outcome = spawnDetached("sleep", {"sleep", "20"}, true);
  ASSERT_EQ(0, outcome.error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  kill(outcome.pid, SIGKILL);
  EXPECT_TRUE(WaitFor([&] {
    return !PathExists("/proc/" + std::to_string(outcome.pid));
  })) << "zombie left";
}

TEST_F(LaunchTest, DocumentsOpenThroughTheOpenerFoundInPathOrTheProgramGiven) {
  vq_testing::MakeDirs(dir_.Append("bin"));
  ASSERT_EQ(0, symlink(VQ_ARGV_RECORDER, dir_.Append("bin/vq-open").c_str()));
  const std::string path = getenv("PATH");
  setenv("PATH", (dir_.Append("bin:") + path).c_str(), 1);
  Launcher::Options options;
  options.opener = "vq-open";
  options.exists = [](const std::string& p) { return p != "--manual"; };
  const Launcher launcher(options);
  const struct {
    std::string document, argument, logged;
  } cases[] = {
      {"http://h/x", "http://h/x", "DEBUG openURL succeeded"},
      // Texts the opener would misread never reach it: with a working
      // opener only a refusal logs these errors.
      {"-rf", "./-rf", "DEBUG Calling openFile"},
      {"--manual", "", "ERROR openURL failed"},
      {std::string("/a\0b", 4), "", "ERROR NSString::initWithCString returned NULL"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(0, launcher.openDocument("", {c.document, "ignored"}));
    EXPECT_TRUE(Contains(openLog_.Take(), c.logged)) << c.document;
    if (!c.argument.empty()) {
      EXPECT_EQ((Strings{"vq-open", c.argument}), AwaitRecord()["arg"]);
    }
  }
  setenv("PATH", path.c_str(), 1);
  launcher.openDocument("", {});
  EXPECT_TRUE(Contains(openLog_.Take(), "ERROR openDocument(..) called, but "
                                        "exe and args are empty"));

  // A program given is started, a bundle through its inner executable, with
  // the path given as argv[0].
  const std::string bundle = dir_.Append("Recorder.app");
  vq_testing::MakeDirs(bundle + "/Contents/MacOS");
  ASSERT_EQ(0, symlink(VQ_ARGV_RECORDER,
                       (bundle + "/Contents/MacOS/Recorder").c_str()));
  EXPECT_EQ(0, launcher.openDocument(bundle + "/", {"${server.host}"}));
  EXPECT_EQ((Strings{bundle + "/", "${server.host}"}), AwaitRecord()["arg"]);
  // Only directories named NAME.app are bundles.
  const std::string file = dir_.Append("tool.app");
  ASSERT_EQ(0, symlink(VQ_ARGV_RECORDER, file.c_str()));
  EXPECT_EQ(0, launcher.launchApplication(file, {}));
  EXPECT_EQ(Strings{file}, AwaitRecord()["arg"]);
}

TEST_F(LaunchTest, FailuresAreOnlyLoggedAndOnlyOnceLoggingIsConfigured) {
  const std::string file = dir_.Append("f"), missing = dir_.Append("missing");
  vq_testing::WriteFile(file, "");
  bool logging = false;
  Launcher::Options options;
  options.opener = "vq-none";  // not installed
  options.loggingEnabled = [&] { return logging; };
  const Launcher launcher(options);
  for (const Strings& expected :
       {Strings{}, Strings{"ERROR vq-none is not installed: cannot open http://h/",
                           "ERROR openURL failed", "ERROR openFile:" + file + " failed",
                           "ERROR Could not start " + missing +
                               ": No such file or directory"}}) {
    EXPECT_EQ(0, launcher.openDocument("", {"http://h/"}));
    EXPECT_EQ(0, launcher.openDocument("", {file}));
    EXPECT_EQ(ENOENT, launcher.launchApplication(missing, {}));
    Strings logged = openLog_.Take(), launched = launchLog_.Take();
    logged.insert(logged.end(), launched.begin(), launched.end());
    for (const std::string& line : expected) {
      EXPECT_TRUE(Contains(logged, line)) << line;
    }
    EXPECT_EQ(expected.empty(), logged.empty());
    logging = true;
  }
}

}  // namespace
}  // namespace host
