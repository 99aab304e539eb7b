#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/application_identity.h"
#include "app/built_in_description.h"
#include "app/data_directory_seeder.h"
#include "app/installation_layout.h"
#include "app/vq_application_settings.h"
#include "support/apr_pool.h"
#include "testing/error_text.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using Texts = std::vector<std::string>;
using vq_testing::FileMode;
using vq_testing::WriteFile;

TEST(InstallationLayoutTest, AbsoluteRelativeAndBareProgramPaths) {
  const auto bundle = computeInstallationLayout("/opt/A.app/Contents/MacOS/vq", "/home/u");
  EXPECT_EQ("/opt/A.app/Contents/MacOS", bundle.dirApp);
  EXPECT_EQ("/opt/A.app", bundle.launchCmd);
  EXPECT_EQ("/w/bin/agent", computeInstallationLayout("bin/agent", "/w").exe);
  // Without a "/" the whole text is taken as the directory.
  EXPECT_EQ("/w/agent/agent", computeInstallationLayout("agent", "/w").exe);
}

class StartupTest : public ::testing::Test {
 protected:
  vq_testing::ScopedTempDir dir_;
  apr::Pool pool_;
};

const char kDescription[] =
    "<vqApplication feedId='363' appId='843' name='Quillmere' swf='Q.app' "
    "title='Quill'><defaultServers><server>http://a/</server>"
    "<server>http://b/</server></defaultServers></vqApplication>";

TEST_F(StartupTest, DescriptionFieldsWithInstallationOverrides) {
  // Any case of the root name; ids as atol reads them; empty or absent texts
  // keep the built-in value.
  WriteFile(dir_.Append("vqapplication.xml"),
            "<VQAPPLICATION feedId='abc' appId='7x' appTitle='' swfName='Other.app'/>");
  ApplicationIdentity identity;
  const VqApplicationSettings overrides(dir_.path().c_str(), pool_);
  ASSERT_TRUE(readBuiltInDescription(kDescription, overrides, &identity));
  EXPECT_EQ(0, identity.feedId);
  EXPECT_EQ(7, identity.appId);
  EXPECT_EQ("Other.app", identity.swf);
  EXPECT_EQ("Quillmere", identity.name);
  EXPECT_EQ("Quill", identity.title);
  EXPECT_EQ((Texts{"http://a/", "http://b/"}), identity.defaultServers);

  identity.name = "kept";
  EXPECT_FALSE(readBuiltInDescription("<vqApplication", overrides, &identity));
  EXPECT_FALSE(readBuiltInDescription(nullptr, overrides, &identity));
  EXPECT_EQ("kept", identity.name);

  // Unusable settings files override nothing.
  for (const char* unusable : {"<settings feedId='1'/>", "<vqapplication"}) {
    WriteFile(dir_.Append("vqapplication.xml"), unusable);
    const VqApplicationSettings settings(dir_.path().c_str(), pool_);
    EXPECT_EQ(-1, settings.feedId()) << unusable;
  }
}

TEST_F(StartupTest, SeedingCopiesForTheOwnerOnlyAndReportsFailures) {
  const std::string source = dir_.Append("initial_data");
  WriteFile(source + "/settings.xml", "<s/>");
  WriteFile(source + "/App.app/Contents/MacOS/App", "#!/bin/sh\n");
  vq_testing::SetFileMode(source + "/App.app/Contents/MacOS/App", 0755);
  const std::string target = dir_.Append("home/Library/V/App");
  Texts messages;
  seedDataDirectory(source, target, pool_, &messages);
  EXPECT_EQ(0700, FileMode(target));
  EXPECT_EQ(0600, FileMode(target + "/settings.xml"));
  EXPECT_EQ(0700, FileMode(target + "/App.app/Contents/MacOS/App"));
  EXPECT_EQ((Texts{"Creating data directory : " + target,
                   "Copying data directory " + source + " to " + target}),
            messages);

  const std::string missing = dir_.Append("missing"), data = dir_.Append("d");
  const auto failure = [&](const std::string& target) {
    return ErrorText([&] { seedDataDirectory(missing, target, pool_, &messages); });
  };
  // A file where a directory must be; a missing source.
  EXPECT_EQ("Unable to create data directory: " + source + "/settings.xml/d\n",
            failure(source + "/settings.xml/d"));
  EXPECT_EQ(0u, failure(data).find("ERR: copying of data directory " + missing + " to " + data +
                                   " failed with exception "));
  EXPECT_FALSE(vq_testing::PathExists(data));
}

TEST_F(StartupTest, AFailedSeedLeavesNoDataDirectoryAndALeftoverGoes) {
  // A dangling link in the initial data fails the copy half way: neither
  // the data directory nor the half-made copy may stay, so that the next
  // start is a first run again.
  const std::string source = dir_.Append("initial_data");
  WriteFile(source + "/a.xml", "<a/>");
  WriteFile(source + "/sub/b.xml", "<b/>");
  ASSERT_EQ(0, symlink("nowhere", (source + "/sub/dangling").c_str()));
  const std::string target = dir_.Append("home/Library/V/App");
  Texts messages;
  EXPECT_THROW(seedDataDirectory(source, target, pool_, &messages), std::runtime_error);
  EXPECT_FALSE(vq_testing::PathExists(target));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Append("home/Library/V"))) {
    ADD_FAILURE() << "left behind: " << entry.path();
  }
  // Repaired, the next attempt seeds whole, also past a leftover of a
  // seeding the machine did not survive.
  std::remove((source + "/sub/dangling").c_str());
  WriteFile(target + ".seeding/stale.txt", "half");
  seedDataDirectory(source, target, pool_, &messages);
  EXPECT_EQ("<b/>", vq_testing::ReadFile(target + "/sub/b.xml"));
  EXPECT_FALSE(vq_testing::PathExists(target + ".seeding"));
  EXPECT_FALSE(vq_testing::PathExists(target + "/stale.txt"));
}

}  // namespace
