#include "host/launcher.h"

#include <errno.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launch_record.h"
#include "testing/file_util.h"
#include "testing/log_capture.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

using host_test::AwaitRecord;
using Strings = std::vector<std::string>;

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A launcher whose spawns are recorded instead of run, over a file system
// where exactly the paths in `existing_` exist.
class FakeLauncherTest : public ::testing::Test {
 protected:
  Launcher MakeLauncher() {
    Launcher::Options options;
    options.spawn = [this](const std::string& program, const Strings& argv,
                           bool searchPath) {
      programs_.push_back(program + (searchPath ? " (PATH)" : ""));
      argvs_.push_back(argv);
      SpawnOutcome outcome;
      outcome.error = spawnError_;
      return outcome;
    };
    options.exists = [this](const std::string& path) {
      return Contains(existing_, path);
    };
    options.loggingEnabled = [this] { return logging_; };
    return Launcher(options);
  }

  Strings programs_;
  std::vector<Strings> argvs_;
  Strings existing_;
  int spawnError_ = 0;
  bool logging_ = true;
  vq_testing::LogCapture openLog_{"vq.callback.openDocument"};
  vq_testing::LogCapture launchLog_{"vq.callback.launchApplication"};
};

TEST_F(FakeLauncherTest, NamedExecutableOrNothingAtAll) {
  Launcher launcher = MakeLauncher();
  launcher.openDocument("/U/d/tool", {"a", "${mongoose.host}"});
  EXPECT_EQ(Strings{"/U/d/tool"}, programs_);
  EXPECT_EQ((Strings{"/U/d/tool", "a", "${mongoose.host}"}), argvs_.at(0));
  EXPECT_EQ(Strings{"DEBUG Launching /U/d/tool with 2 arguments."},
            launchLog_.Take());

  launcher.openDocument("", {});
  EXPECT_EQ(1u, programs_.size());
  EXPECT_EQ((Strings{"DEBUG Launching /U/d/tool with 2 arguments.",
                     "DEBUG Launching  with 0 arguments.",
                     "ERROR openDocument(..) called, but exe and args are "
                     "empty"}),
            openLog_.Take());
}

TEST_F(FakeLauncherTest, UrlWhenCaseSensitivePrefixOrNoSuchFile) {
  existing_ = {"http://h/x", "HTTP://h/x", "mailto:a@b", "https:y", "/U/f"};
  Launcher launcher = MakeLauncher();
  for (const std::string url : {"http://h/x", "https:y", "mailto:a@b",
                                "/U/missing", ""}) {
    launcher.openDocument("", {url, "ignored"});
    EXPECT_EQ((Strings{"xdg-open", url}), argvs_.back());
    EXPECT_EQ((Strings{"DEBUG Launching  with 2 arguments.",
                       "DEBUG openDocument(" + url + ", document)",
                       "DEBUG openURL succeeded"}),
              openLog_.Take());
  }
  for (const std::string file : {"HTTP://h/x", "/U/f"}) {
    launcher.openDocument("", {file});
    EXPECT_EQ((Strings{"xdg-open", file}), argvs_.back());
    EXPECT_EQ((Strings{"DEBUG Launching  with 1 arguments.",
                       "DEBUG openDocument(" + file + ", document)",
                       "DEBUG Calling openFile", "DEBUG Returned from openFile"}),
              openLog_.Take());
  }
  EXPECT_EQ(7, std::count(programs_.begin(), programs_.end(),
                          "xdg-open (PATH)"));
}

TEST_F(FakeLauncherTest, TextsTheOpenerWouldMisreadNeverReachIt) {
  existing_ = {"-rf"};
  Launcher launcher = MakeLauncher();
  launcher.openDocument("", {"-rf"});
  EXPECT_EQ((Strings{"xdg-open", "./-rf"}), argvs_.at(0));
  launcher.openDocument("", {"--manual"});
  launcher.openDocument("", {std::string("/a\0b", 4)});
  EXPECT_EQ(1u, argvs_.size());
  const Strings lines = openLog_.Take();
  EXPECT_TRUE(Contains(lines, "ERROR openURL failed"));
  EXPECT_TRUE(Contains(lines, "ERROR NSString::initWithCString returned NULL"));
}

TEST_F(FakeLauncherTest, FailuresAreLoggedNotReturnedByOpenDocument) {
  spawnError_ = ENOENT;
  existing_ = {"/U/f"};
  Launcher launcher = MakeLauncher();
  EXPECT_EQ(0, launcher.openDocument("", {"http://h/"}));
  EXPECT_EQ(0, launcher.openDocument("", {"/U/f"}));
  const Strings lines = openLog_.Take();
  EXPECT_TRUE(Contains(lines, "ERROR xdg-open is not installed: cannot open http://h/"));
  EXPECT_TRUE(Contains(lines, "ERROR openURL failed"));
  EXPECT_TRUE(Contains(lines, "ERROR openFile:/U/f failed"));
  EXPECT_EQ(0, launcher.openDocument("/U/x", {}));
  EXPECT_EQ(ENOENT, launcher.launchApplication("/U/x", {}));
  EXPECT_TRUE(Contains(launchLog_.Take(),
                       "ERROR Could not start /U/x: No such file or directory"));
}

TEST_F(FakeLauncherTest, NothingIsLoggedBeforeLoggingIsConfigured) {
  logging_ = false;
  spawnError_ = ENOENT;
  Launcher launcher = MakeLauncher();
  launcher.openDocument("", {});
  launcher.openDocument("", {"http://h/"});
  launcher.openDocument("/U/d/missing", {});
  EXPECT_TRUE(openLog_.Take().empty());
  EXPECT_TRUE(launchLog_.Take().empty());
  EXPECT_EQ(2u, programs_.size());
}

// Real processes: a bundle whose executable is the argument recorder.
class RealLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vq_testing::MakeDirs(bundle_ + "/Contents/MacOS");
    ASSERT_EQ(0, symlink(VQ_ARGV_RECORDER,
                         (bundle_ + "/Contents/MacOS/Recorder").c_str()));
    host_test::RecordTo(dir_.Append("record"));
  }

  vq_testing::ScopedTempDir dir_;
  const std::string bundle_ = dir_.Append("Recorder.app");
  const Launcher launcher_;
};

TEST_F(RealLaunchTest, BundleStartsItsInnerExecutableWithBundlePathAsArgvZero) {
  EXPECT_EQ(bundle_ + "/Contents/MacOS/Recorder", launcher_.programFor(bundle_));
  EXPECT_EQ(bundle_ + "/Contents/MacOS/Recorder",
            launcher_.programFor(bundle_ + "//"));
  EXPECT_EQ(0, launcher_.openDocument(bundle_ + "/", {"${mongoose.host}"}));
  EXPECT_EQ((Strings{bundle_ + "/", "${mongoose.host}"}),
            AwaitRecord(dir_.Append("record")).args);
}

TEST_F(RealLaunchTest, OnlyDirectoriesNamedNameDotAppAreBundles) {
  const std::string file = dir_.Append("tool.app");
  ASSERT_EQ(0, symlink(VQ_ARGV_RECORDER, file.c_str()));
  EXPECT_EQ(file, launcher_.programFor(file));
  EXPECT_EQ(dir_.path(), launcher_.programFor(dir_.path()));
  EXPECT_EQ(0, launcher_.launchApplication(file, {}));
  EXPECT_EQ(Strings{file}, AwaitRecord(dir_.Append("record")).args);
  vq_testing::MakeDirs(dir_.Append("Empty.app"));
  EXPECT_EQ(ENOENT, launcher_.launchApplication(dir_.Append("Empty.app"), {}));
}

TEST_F(RealLaunchTest, DocumentsReachTheRealOpenerWhichIsLookedUpInPath) {
  const std::string opener = dir_.Append("fake-opener");
  const std::string out = dir_.Append("opened");
  vq_testing::WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + out +
                                    ".tmp\" && mv \"" + out + ".tmp\" \"" +
                                    out + "\"\n");
  vq_testing::SetFileMode(opener, 0755);
  Launcher::Options options;
  options.opener = opener;
  Launcher(options).openDocument("", {"https://example.invalid/a?b=c&d"});
  ASSERT_TRUE(vq_testing::WaitFor([&] { return vq_testing::PathExists(out); }));
  EXPECT_EQ("https://example.invalid/a?b=c&d", vq_testing::ReadFile(out));

  vq_testing::LogCapture log("vq.callback.openDocument");
  options.opener = "vq-opener-that-is-not-installed";
  Launcher(options).openDocument("", {"http://h/"});
  EXPECT_TRUE(Contains(log.Take(), "ERROR vq-opener-that-is-not-installed is "
                                   "not installed: cannot open http://h/"));
}

}  // namespace
}  // namespace host
