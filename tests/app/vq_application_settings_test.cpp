#include "app/vq_application_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app_test_support.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"

namespace {

class VqApplicationSettingsTest : public ::testing::Test {
 protected:
  void write(const std::string& contents) {
    vq_testing::WriteFile(dir.Append("vqapplication.xml"), contents);
  }

  vq_app_test::AprInit apr;
  apr::Pool pool;
  vq_testing::ScopedTempDir dir;
};

TEST_F(VqApplicationSettingsTest, ReadsOverridesWithCaseInsensitiveRoot) {
  write("<VQAPPLICATION feedId='abc' appId='77x' appName='Foo' appTitle='' "
        "swfName='Foo.app'/>");
  VqApplicationSettings settings(dir.path().c_str(), pool);
  EXPECT_EQ(0, settings.feedId());  // atol's result, not the -1 marker
  EXPECT_EQ(77, settings.appId());
  EXPECT_STREQ("Foo", settings.appName());
  EXPECT_EQ(nullptr, settings.appTitle());  // empty: use the built-in title
  EXPECT_STREQ("Foo.app", settings.swfName());
}

TEST_F(VqApplicationSettingsTest, UnusableFilesLeaveEveryDefault) {
  for (const char* contents :
       {static_cast<const char*>(nullptr), "<settings feedId='1' appName='F'/>",
        "<vqapplication feedId='1' appName='F'", "", "directory"}) {
    if (contents == nullptr) {
      // no file at all
    } else if (std::string(contents) == "directory") {
      std::remove(dir.Append("vqapplication.xml").c_str());
      vq_testing::MakeDirs(dir.Append("vqapplication.xml"));
    } else {
      write(contents);
    }
    VqApplicationSettings settings(dir.path().c_str(), pool);
    EXPECT_EQ(-1, settings.feedId());
    EXPECT_EQ(-1, settings.appId());
    EXPECT_EQ(nullptr, settings.appName());
    EXPECT_EQ(nullptr, settings.appTitle());
    EXPECT_EQ(nullptr, settings.swfName());
  }
}

}  // namespace
