#include "support/file_permission_match.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <stdexcept>
#include <string>

#include "support/apr_pool.h"
#include "support/file_permission_match_set.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::FileMode;

class FilePermissionMatchTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name, int mode) {
    vq_testing::WriteFile(dir_.Append(name), "x");
    vq_testing::SetFileMode(dir_.Append(name), mode);
    return dir_.Append(name);
  }
  const TiXmlElement* Parse(const char* xml) {
    document_.Clear();  // Parse would otherwise append to the document
    document_.Parse(xml);
    return document_.RootElement();
  }

  apr::Pool pool_;
  vq_testing::ScopedTempDir dir_;
  TiXmlDocument document_;
};

TEST_F(FilePermissionMatchTest, CaseModeAndLeadingPeriod) {
  const std::string xml = File("a.xml", 0644);
  EXPECT_FALSE(FilePermissionMatch("*.XML", "rwxrwxrwx", nullptr, pool_)
                   .matchAndSet(xml.c_str()));
  EXPECT_FALSE(FilePermissionMatch("*.XML", "rwxrwxrwx", "Blind", pool_)
                   .matchAndSet(xml.c_str()));
  EXPECT_EQ(0644, FileMode(xml));
  EXPECT_TRUE(FilePermissionMatch("*.XML", "rw-------", "blind", pool_)
                  .matchAndSet(xml.c_str()));
  EXPECT_EQ(0600, FileMode(xml));
  // "*" crosses "/" but does not match a leading period.
  EXPECT_FALSE(FilePermissionMatch("*", "rwxrwxrwx", "blind", pool_)
                   .matchAndSet(".hidden"));
}

TEST_F(FilePermissionMatchTest, SetUsesFirstMatchingRuleOnly) {
  const FilePermissionMatchSet set(
      Parse("<perms default='rw-------'>"
            "<match pattern='*.sh' perm='rwx------'/>"
            "<match pattern='*.SH' perm='r--r--r--' case='blind'/>"
            "<match pattern='*/pub/*' perm='rw-r--r--'/></perms>"),
      pool_);
  ASSERT_EQ(4u, set.matches().size());
  const struct {
    const char* name;
    int before;
    int after;
  } cases[] = {{"run.sh", 0644, 0700},
               {"RUN.SH", 0600, 0444},
               {"pub/page.html", 0600, 0644},
               {"other.txt", 0666, 0600}};
  for (const auto& c : cases) {
    const std::string file = File(c.name, c.before);
    EXPECT_TRUE(set.matchAndSet(file.c_str())) << c.name;
    EXPECT_EQ(c.after, FileMode(file)) << c.name;
  }
  const FilePermissionMatchSet none(
      Parse("<p><match pattern='*.xml' perm='---------'/></p>"), pool_);
  const std::string text = File("a.txt", 0640);
  EXPECT_FALSE(none.matchAndSet(text.c_str()));
  EXPECT_EQ(0640, FileMode(text));
}

TEST_F(FilePermissionMatchTest, ErrorsPropagate) {
  try {
    FilePermissionMatch rule(Parse("<match perm='rw-------'/>"), pool_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("No pattern attribute in file permission match element.",
                 e.what());
  }
  try {
    FilePermissionMatch rule(Parse("<match pattern='*'/>"), pool_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("No perm attribute in file permission match element.",
                 e.what());
  }
  const std::string vanished = dir_.Append("vanished.txt");
  FilePermissionMatchSet set("rwd------", pool_);
  try {
    apr_dirWalkPost_setPermissions(&set, vanished.c_str(), pool_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(0u, std::string(e.what()).find(
                      "Error obtaining file information (apr_stat) of " +
                      vanished + " APR: "));
  }
}

}  // namespace
