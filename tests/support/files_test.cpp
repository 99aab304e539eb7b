// Files, directory trees, byte buffers and permission rules over APR.
#include <apr_file_io.h>
#include <apr_general.h>
#include <gtest/gtest.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "support/apr_exception.h"
#include "support/apr_file.h"
#include "support/apr_pool.h"
#include "support/apr_status.h"
#include "support/apr_utils.h"
#include "support/file_permission_match.h"
#include "support/file_permission_match_set.h"
#include "support/memory_buffer.h"
#include "testing/error_text.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;

class FilesTest : public ::testing::Test {
 protected:
  // Writes `name` below the temporary directory and returns its full path.
  std::string File(const std::string& name, const std::string& contents, int mode = 0644) {
    vq_testing::WriteFile(dir_.Append(name), contents);
    vq_testing::SetFileMode(dir_.Append(name), mode);
    return dir_.Append(name);
  }
  // A source tree with ".svn" folders at the top and deeper down.
  void MakeTree() {
    for (const char* name : {"top.txt", ".svn/entries", "sub/deep/.svn/y", "sub/deep/leaf.txt"})
      File("source/" + std::string(name), name);
  }
  std::string Source(const std::string& path) const { return dir_.Append("source/" + path); }
  std::string Dest(const std::string& path) const { return dir_.Append("dest/" + path); }
  void Copy(const std::string& from, const std::string& to,
            apr_copy_directory_fn* callback = nullptr, void* data = nullptr) {
    apr_copy_directory(from.c_str(), to.c_str(), callback, data, pool_);
  }
  apr::File Open(const std::string& file) {
    return apr::File(file.c_str(), APR_FOPEN_READ, APR_OS_DEFAULT, pool_);
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

TEST_F(FilesTest, QueriesReadsAndFailures) {
  const std::string big = std::string(20000, 'x') + std::string("\0t\r\n", 4);
  const std::string file = File("f.bin", big), missing = dir_.Append("none");
  EXPECT_TRUE(apr_dir_exists(dir_.path().c_str(), pool_));
  EXPECT_FALSE(apr_dir_exists(file.c_str(), pool_));
  EXPECT_FALSE(apr_file_exists(missing.c_str(), pool_));
  EXPECT_FALSE(apr_isdir(file.c_str(), pool_));
  EXPECT_EQ(20004, apr_file_size(file.c_str(), pool_));
  EXPECT_EQ(0, apr_file_size(missing.c_str(), pool_));
  EXPECT_EQ("apr_stat failed in apr_isdir(" + missing + ",..)",
            ErrorText([&] { apr_isdir(missing.c_str(), pool_); }));
  EXPECT_EQ(big, apr_file_readString(file.c_str(), pool_));
  EXPECT_EQ("ERROR: Failed to open", apr_file_readString(missing.c_str(), pool_));
  apr::File in = Open(File("rw.bin", "hello world"));
  char buffer[8];
  EXPECT_EQ(8u, in.read(buffer, sizeof(buffer)));
  EXPECT_EQ(3u, in.read(buffer, sizeof(buffer)));
  EXPECT_EQ(0u, in.read(buffer, sizeof(buffer)));  // end of file is no error
  EXPECT_EQ(std::string(aprStatus(APR_FROM_OS_ERROR(ENOENT))) + " : Opening filename " + missing,
            ErrorText([&] { Open(missing); }));
  // A directory opens, but reading it fails with more than end of file.
  apr::File directory = Open(dir_.path());
  EXPECT_NE(std::string::npos, ErrorText([&] { directory.read(buffer, sizeof(buffer)); })
                                   .find(" : Reading from " + dir_.path()));
  const std::string huge(9000, 'q');
  EXPECT_EQ(8191u, ErrorText([&] { throw apr::Exception(APR_EOF, "%s", huge.c_str()); }).size());
}

TEST_F(FilesTest, CopySkipsSvnAtAnyDepthKeepsModesAndFailuresThrow) {
  MakeTree();
  vq_testing::SetFileMode(Source("top.txt"), 0640);
  Copy(Source(""), Dest(""));
  EXPECT_EQ("sub/deep/leaf.txt", ReadFile(Dest("sub/deep/leaf.txt")));
  EXPECT_EQ(0640, FileMode(Dest("top.txt")));
  EXPECT_FALSE(PathExists(Dest(".svn")));
  EXPECT_FALSE(PathExists(Dest("sub/deep/.svn")));
  // Over an existing copy, the callback gets every created path (here it applies rules; "d"
  // only sets x on directories).
  FilePermissionMatchSet rules("rwd------", pool_);
  Copy(Source(""), Dest(""), apr_dirWalkPost_setPermissions, &rules);
  EXPECT_EQ(0700, FileMode(Dest("sub/deep")));
  EXPECT_EQ(0600, FileMode(Dest("sub/deep/leaf.txt")));

  const std::string missing = dir_.Append("missing"), below = Source("top.txt/dest");
  EXPECT_EQ("Couldn't open " + missing, ErrorText([&] { Copy(missing, Dest("")); }));
  EXPECT_EQ("Could not create destination directory: " + below,
            ErrorText([&] { Copy(Source(""), below); }));
  // A directory standing where a file must go fails even for root.
  const std::string blocked = dir_.Append("blocked");
  vq_testing::MakeDirs(blocked + "/top.txt");
  EXPECT_EQ(0u, ErrorText([&] { Copy(Source(""), blocked); })
                    .find("Copy of file failed: " + Source("top.txt") + " to " + blocked +
                          "/top.txt (APR ERROR "));
}

TEST_F(FilesTest, RemoveDeletesTreeButNotLinkTargets) {
  MakeTree();
  File("dest/a/file.txt", "x");
  ASSERT_EQ(0, ::symlink(Source("sub").c_str(), Dest("a/to_dir").c_str()));
  ASSERT_EQ(0, ::symlink(Source("top.txt").c_str(), Dest("to_file").c_str()));
  EXPECT_EQ(APR_SUCCESS, apr_dir_remove_recursive(Dest("").c_str(), pool_));
  EXPECT_FALSE(PathExists(Dest("")));
  EXPECT_EQ("top.txt", ReadFile(Source("top.txt")));
  EXPECT_EQ("sub/deep/leaf.txt", ReadFile(Source("sub/deep/leaf.txt")));
  EXPECT_NE(APR_SUCCESS, apr_dir_remove_recursive(Dest("").c_str(), pool_));
}

TEST_F(FilesTest, BufferGrowsGeometricallyAndReadsFilesWholeOrTail) {
  MemoryBuffer<char> buffer(pool_);
  const std::string expected(8193, 'e'), block(20000, 'b');
  for (char c : expected) buffer.append(c);
  EXPECT_EQ(16384, buffer.capacity());
  EXPECT_EQ(20000u, buffer.append(block.data(), block.size()));
  EXPECT_EQ(2 * (8193 + 20000), buffer.capacity());
  // Sizes an int capacity cannot describe throw, keeping the contents.
  EXPECT_THROW(buffer.alloc(1LL << 40), std::bad_alloc);
  EXPECT_THROW(buffer.allocAvailable(0x7fffffffLL), std::bad_alloc);
  EXPECT_EQ(expected + block, buffer.str());
  const std::string ten = File("ten", std::string("01234\r\n\0" "89", 10));
  std::string log;
  for (int i = 0; i < 50000; ++i) log += static_cast<char>('A' + i % 23);
  const std::string big = File("big", log);
  MemoryBuffer<char> small(pool_), whole(pool_), tail(pool_);
  small.readFile(ten.c_str(), 5);
  small.readFile(ten.c_str());
  EXPECT_EQ(std::string("\r\n\0" "89" "01234\r\n\0" "89", 15), small.str());
  EXPECT_EQ(0, *small.end());
  // Missing and unreadable files add nothing and throw nothing; a generous tail limit allocates
  // only what the file holds.
  small.readFile(dir_.Append("missing").c_str());
  small.readFile(dir_.path().c_str(), 5);
  small.readFile(ten.c_str(), 1LL << 40);
  EXPECT_EQ(25u, small.size());
  // Files of several read blocks: whole, and the error report's log tail.
  whole.readFile(big.c_str());
  tail.readFile(big.c_str(), 20000);
  EXPECT_EQ(log, whole.str());
  EXPECT_EQ(log.substr(log.size() - 20000), tail.str());
}

TEST_F(FilesTest, RulesUseFirstMatchAndReportErrors) {
  const FilePermissionMatchSet set(
      Parse("<perms default='rw-------'><match pattern='*.sh' perm='rwx------'/>"
            "<match pattern='*.TXT' perm='r--r--r--' case='blind'/>"
            "<match pattern='*/pub/*' perm='rw-r--r--'/></perms>"),
      pool_);
  // {name, mode before, mode after}; "*" crosses "/".
  const struct { const char* name; int before, after; } cases[] = {
      {"run.sh", 0644, 0700}, {"note.txt", 0600, 0444}, {"pub/page.html", 0600, 0644},
      {"other.dat", 0666, 0600}};
  for (const auto& c : cases) {
    const std::string file = File(c.name, "x", c.before);
    EXPECT_TRUE(set.matchAndSet(file.c_str())) << c.name;
    EXPECT_EQ(c.after, FileMode(file)) << c.name;
  }
  // Case is matched exactly unless the mode is exactly "blind"; "*" does not match a leading
  // period.
  EXPECT_FALSE(FilePermissionMatch("*.xml", "rwxrwxrwx", "Blind", pool_).matchAndSet("A.XML"));
  EXPECT_FALSE(FilePermissionMatch("*", "rwxrwxrwx", "blind", pool_).matchAndSet(".hidden"));
  EXPECT_EQ("No pattern attribute in file permission match element.", ErrorText([&] {
              FilePermissionMatch(Parse("<match perm='rw-------'/>"), pool_);
            }));
  EXPECT_EQ("No perm attribute in file permission match element.",
            ErrorText([&] { FilePermissionMatch(Parse("<match pattern='*'/>"), pool_); }));
  const std::string gone = dir_.Append("gone.txt");
  EXPECT_EQ(0u, ErrorText([&] { set.matchAndSet(gone.c_str()); })
                    .find("Error obtaining file information (apr_stat) of " + gone + " APR: "));
}

}  // namespace
