#include <gtest/gtest.h>

#include <string>

#include "app/vq_application.h"
#include "app_test_support.h"
#include "support/apr_pool.h"

namespace {

TEST(ResolveInDataDirTest, AcceptsOnlyTheDataDirectoryAndWhatLiesBelowIt) {
  vq_app_test::AprInit apr;
  apr::Pool pool;
  const struct {
    const char* dataDir;
    const char* tested;
    const char* expected;
  } cases[] = {
      {"/x/data", "sub/../file", "/x/data/file"},
      {"/x/data/", "f", "/x/data/f"},
      {"/x/data", "", "/x/data/"},
      {"/x/data", "../other", ""},
      {"/x/data", "a/../../other", ""},
      {"/x/data", "/etc/hosts", ""},
      {"/x/data", "/x/data/f", "/x/data/f"},
      {"/x/data", "/x/data", "/x/data"},
      {"/x/data", "/x/data/../data/f", "/x/data/f"},
      // Siblings that merely share the name's beginning are outside.
      {"/x/data", "/x/database/f", ""},
      {"/x/data/", "/x/data2", ""},
      {"/x/data", "/x/data/../database/f", ""},
      // The data directory is compared in the merge's normal form.
      {"/home/u//data", "/home/u/data/f", "/home/u/data/f"},
      {"/home/u//data", "/home/u/database", ""},
      // Without a data directory nothing is beneath it.
      {"", "/etc/hosts", ""},
      {"", "file", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected,
              VqApplication::resolveInDataDir(c.dataDir, c.tested, pool))
        << c.dataDir << " + " << c.tested;
  }
}

TEST(PathInDataDirTest, UsesTheDataDirectoryVariable) {
  vq_app_test::AprInit apr;
  vq_testing::ScopedTempDir data;
  VqApplication::setEnv(VqApplication::DIR_DATA, data.path());
  VqApplication app(vq_app_test::testIdentity(), nullptr);
  EXPECT_EQ(data.Append("f"), app.pathInDataDir("sub/../f"));
  EXPECT_EQ("", app.pathInDataDir((data.path() + "x/f").c_str()));
}

}  // namespace
