#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <stdexcept>
#include <string>

#include "support/apr_pool.h"
#include "support/apr_utils.h"
#include "support/file_permission_match_set.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::WriteFile;

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"top.txt", ".svn/entries", "sub/inner.txt", "sub/.svn/x",
          "sub/deep/.svn/y", "sub/deep/leaf.txt"}) {
      WriteFile(Source(name), name);
    }
  }
  std::string Source(const std::string& relative) const {
    return dir_.Append("source/" + relative);
  }
  std::string Dest(const std::string& relative) const {
    return dir_.Append("dest/" + relative);
  }
  void Copy(apr_copy_directory_fn* callback, void* data) {
    apr_copy_directory(Source("").c_str(), Dest("").c_str(), callback, data,
                       pool_);
  }

  apr::Pool pool_;
  vq_testing::ScopedTempDir dir_;
};

bool RecordPre(void* data,
               apr_finfo_t*,
               const char* relative,
               const char*,
               apr_pool_t*) {
  static_cast<std::string*>(data)->append(std::string(relative) + ";");
  return std::string(relative) != "sub";
}

void RecordPost(void* data,
                apr_finfo_t*,
                const char* relative,
                const char* full,
                apr_pool_t*) {
  static_cast<std::set<std::string>*>(data)->insert(std::string(relative) +
                                                    "|" + full);
}

TEST_F(DirectoryTest, WalkIsPreOrderAndHonoursRefusal) {
  std::string pre;
  std::set<std::string> post;
  apr_dir_walk(Source("").c_str(), RecordPre, &pre, RecordPost, &post, pool_);
  // "sub" was refused, so nothing below it was visited; ".svn" was entered.
  EXPECT_EQ(std::string::npos, pre.find("sub/"));
  EXPECT_LT(pre.find(".svn;"), pre.find(".svn/entries;"));
  EXPECT_EQ(
      (std::set<std::string>{
          ".svn|" + Source(".svn"), ".svn/entries|" + Source(".svn/entries"),
          "sub|" + Source("sub"), "top.txt|" + Source("top.txt")}),
      post);
  const std::string missing = dir_.Append("missing");
  try {
    apr_dir_walk(missing.c_str(), nullptr, nullptr, nullptr, nullptr, pool_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ("Couldn't open " + missing, e.what());
  }
}

void CollectCopied(void* data, const char* destination, apr_pool_t*) {
  static_cast<std::set<std::string>*>(data)->insert(destination);
}

TEST_F(DirectoryTest, CopySkipsSvnAtAnyDepthAndReportsEachEntry) {
  vq_testing::SetFileMode(Source("top.txt"), 0751);
  std::set<std::string> copied;
  Copy(CollectCopied, &copied);
  EXPECT_EQ((std::set<std::string>{Dest("top.txt"), Dest("sub"),
                                   Dest("sub/inner.txt"), Dest("sub/deep"),
                                   Dest("sub/deep/leaf.txt")}),
            copied);
  EXPECT_EQ("sub/deep/leaf.txt",
            vq_testing::ReadFile(Dest("sub/deep/leaf.txt")));
  EXPECT_EQ(0751, FileMode(Dest("top.txt")));
  EXPECT_FALSE(PathExists(Dest(".svn")));
  EXPECT_FALSE(PathExists(Dest("sub/deep/.svn")));
  Copy(nullptr, nullptr);  // copying over an existing copy succeeds
}

TEST_F(DirectoryTest, CopyAppliesPermissionRulesToSeededEntries) {
  vq_testing::SetFileMode(Source("top.txt"), 0644);
  vq_testing::SetFileMode(Source("sub"), 0755);
  vq_testing::SetFileMode(Source("sub/inner.txt"), 0744);
  FilePermissionMatchSet rules("rwd------", pool_);
  Copy(apr_dirWalkPost_setPermissions, &rules);
  EXPECT_EQ(0600, FileMode(Dest("top.txt")));
  EXPECT_EQ(0700, FileMode(Dest("sub")));
  EXPECT_EQ(0700, FileMode(Dest("sub/inner.txt")));
}

TEST_F(DirectoryTest, CopyFailuresThrow) {
  WriteFile(dir_.Append("plain"), "x");
  const std::string below = dir_.Append("plain/dest");
  try {
    apr_copy_directory(Source("").c_str(), below.c_str(), nullptr, nullptr,
                       pool_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ("Could not create destination directory: " + below, e.what());
  }
  // A directory standing where a file must go fails even for root.
  vq_testing::MakeDirs(Dest("top.txt"));
  try {
    Copy(nullptr, nullptr);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(0u, std::string(e.what()).find(
                      "Copy of file failed: " + Source("top.txt") + " to " +
                      Dest("top.txt") + " (APR ERROR "));
  }
}

TEST_F(DirectoryTest, RemoveDeletesTreeButNotLinkTargets) {
  WriteFile(dir_.Append("outside/keep.txt"), "keep");
  WriteFile(Dest("a/b/file.txt"), "x");
  ASSERT_EQ(0, ::symlink(dir_.Append("outside").c_str(),
                         Dest("a/link_to_dir").c_str()));
  ASSERT_EQ(0, ::symlink(dir_.Append("outside/keep.txt").c_str(),
                         Dest("link_to_file").c_str()));
  ASSERT_EQ(0, ::symlink("/nowhere", Dest("dangling").c_str()));
  EXPECT_EQ(APR_SUCCESS, apr_dir_remove_recursive(Dest("").c_str(), pool_));
  EXPECT_FALSE(PathExists(Dest("")));
  EXPECT_EQ("keep", vq_testing::ReadFile(dir_.Append("outside/keep.txt")));
}

TEST_F(DirectoryTest, RemoveReportsFailures) {
  EXPECT_NE(APR_SUCCESS,
            apr_dir_remove_recursive(dir_.Append("missing").c_str(), pool_));
  // A pipe is skipped with a warning, so its directory cannot go.
  WriteFile(Dest("box/file.txt"), "x");
  ASSERT_EQ(0, ::mkfifo(Dest("box/pipe").c_str(), 0600));
  EXPECT_NE(APR_SUCCESS, apr_dir_remove_recursive(Dest("").c_str(), pool_));
  EXPECT_FALSE(PathExists(Dest("box/file.txt")));
  EXPECT_TRUE(PathExists(Dest("box/pipe")));
}

}  // namespace
