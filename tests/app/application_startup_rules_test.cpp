// The pure rules of start-up: where the installation is, what the built-in
// description gives, and how a first run seeds the data directory.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app_test_support.h"
#include "app/built_in_description.h"
#include "app/data_directory_seeder.h"
#include "app/installation_layout.h"
#include "app/vq_application_settings.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

TEST(InstallationLayoutTest, AbsoluteRelativeAndBareProgramPaths) {
  const InstallationLayout bundle = computeInstallationLayout(
      "/opt/Agent.app/Contents/MacOS/vqagent", "/home/u");
  EXPECT_EQ("/opt/Agent.app/Contents/MacOS", bundle.dirApp);
  EXPECT_EQ("/opt/Agent.app/Contents/MacOS/vqagent", bundle.exe);
  EXPECT_EQ("/opt/Agent.app", bundle.launchCmd);

  const InstallationLayout relative =
      computeInstallationLayout("bin/agent", "/home/u");
  EXPECT_EQ("/home/u/bin", relative.dirApp);
  EXPECT_EQ("/home/u/bin/agent", relative.exe);

  // Without a "/" the whole text is taken as the directory.
  const InstallationLayout bare = computeInstallationLayout("agent", "/w");
  EXPECT_EQ("/w/agent", bare.dirApp);
  EXPECT_EQ("/w/agent/agent", bare.exe);
}

TEST(InstallationLayoutTest, DataDirectoryUnderApplicationSupport) {
  EXPECT_EQ("/home/u/Library/Application Support/Vendor/App",
            dataDirectoryPath("/home/u", "Vendor", "App"));
}

class BuiltInDescriptionTest : public ::testing::Test {
 protected:
  vq_app_test::AprInit apr_;
  vq_testing::ScopedTempDir dir_;
  apr::Pool pool_;
};

const char kDescription[] =
    "<vqApplication feedId=\"363\" appId=\"843\" build=\"Apr 19 2010 11:38:00\""
    " platform=\"mac\" name=\"Quillmere\" swf=\"Quillmere.app\" "
    "title=\"Quill\"><defaultServers><server>http://a/</server>"
    "<server>http://b/</server></defaultServers></vqApplication>";

TEST_F(BuiltInDescriptionTest, ReadsEveryFieldWithoutSettings) {
  VqApplicationSettings settings(dir_.path().c_str(), pool_);
  VqApplication::Identity identity;
  ASSERT_TRUE(readBuiltInDescription(kDescription, settings, &identity));
  EXPECT_EQ(363, identity.feedId);
  EXPECT_EQ(843, identity.appId);
  EXPECT_EQ("Apr 19 2010 11:38:00", identity.build);
  EXPECT_EQ("mac", identity.platform);
  EXPECT_EQ("Quillmere", identity.name);
  EXPECT_EQ("Quill", identity.title);
  EXPECT_EQ("Quillmere.app", identity.swf);
  EXPECT_EQ((std::vector<std::string>{"http://a/", "http://b/"}),
            identity.defaultServers);
}

TEST_F(BuiltInDescriptionTest, InstallationSettingsOverrideIdsAndNames) {
  WriteFile(dir_.Append("vqapplication.xml"),
            "<VQAPPLICATION appId=\"7\" appName=\"Other\" appTitle=\"\" "
            "swfName=\"Other.app\"/>");
  VqApplicationSettings settings(dir_.path().c_str(), pool_);
  VqApplication::Identity identity;
  ASSERT_TRUE(readBuiltInDescription(kDescription, settings, &identity));
  EXPECT_EQ(363, identity.feedId);  // absent: built-in
  EXPECT_EQ(7, identity.appId);
  EXPECT_EQ("Other", identity.name);
  EXPECT_EQ("Quill", identity.title);  // empty: built-in
  EXPECT_EQ("Other.app", identity.swf);
}

TEST_F(BuiltInDescriptionTest, MalformedDescriptionLeavesIdentityUntouched) {
  VqApplicationSettings settings(dir_.path().c_str(), pool_);
  VqApplication::Identity identity;
  identity.name = "kept";
  EXPECT_FALSE(readBuiltInDescription("<vqApplication", settings, &identity));
  EXPECT_FALSE(readBuiltInDescription(nullptr, settings, &identity));
  EXPECT_EQ("kept", identity.name);
}

class SeederTest : public BuiltInDescriptionTest {};

TEST_F(SeederTest, CopiesForTheOwnerOnlyAndKeepsProgramsRunnable) {
  const std::string source = dir_.Append("initial_data");
  WriteFile(source + "/settings.xml", "<s/>");
  WriteFile(source + "/App.app/Contents/MacOS/App", "#!/bin/sh\n");
  vq_testing::SetFileMode(source + "/settings.xml", 0644);
  vq_testing::SetFileMode(source + "/App.app/Contents/MacOS/App", 0755);
  const std::string target = dir_.Append("home/Library/V/App");
  std::vector<std::string> messages;
  seedDataDirectory(source, target, pool_, &messages);

  EXPECT_EQ(0700, FileMode(target));
  EXPECT_EQ("<s/>", ReadFile(target + "/settings.xml"));
  EXPECT_EQ(0600, FileMode(target + "/settings.xml"));
  EXPECT_EQ(0700, FileMode(target + "/App.app/Contents/MacOS/App"));
  EXPECT_EQ(0700, FileMode(target + "/App.app/Contents"));
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ("Creating data directory : " + target, messages[0]);
  EXPECT_EQ("Copying data directory " + source + " to " + target, messages[1]);
}

TEST_F(SeederTest, FailuresCarryTheirMessage) {
  // The target's parent is a file: the directory cannot be made.
  WriteFile(dir_.Append("blocker"), "x");
  std::vector<std::string> messages;
  try {
    seedDataDirectory(dir_.Append("missing"), dir_.Append("blocker/data"),
                      pool_, &messages);
    FAIL() << "no failure";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ("Unable to create data directory: " + dir_.Append("blocker/data") +
                  "\n",
              error.what());
  }
  // A missing source: the directory stays, the copy failure is reported.
  try {
    seedDataDirectory(dir_.Append("missing"), dir_.Append("data"), pool_,
                      &messages);
    FAIL() << "no failure";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(0u, std::string(error.what())
                      .find("ERR: copying of data directory " +
                            dir_.Append("missing") + " to " +
                            dir_.Append("data") + " failed with exception "));
  }
  EXPECT_TRUE(PathExists(dir_.Append("data")));
}

}  // namespace
