// The write, web, delete, set and quit actions on real files; downloads
// come from a loopback server.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "app/vq_application.h"
#include "response_test_support.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"

namespace vq_response_test {
namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

class FileActionsTest : public ResponseTest {
 protected:
  void Run(const std::string& actionsXml) {
    RunTransactions("<vq><transaction>" + actionsXml + "</transaction></vq>");
  }
  vq_testing::TestHttpServer server_;
};

TEST_F(FileActionsTest, WritePutsTextInPlaceWithItsDirectories) {
  VqApplication::setEnv("sub", "a");
  Run("<write filename='${dir.data}/${sub}/b.txt'>hello</write>"
      "<write filename='c/d.txt' perm='rw-r-----'>x</write>");
  EXPECT_EQ("hello", ReadFile(DataPath("a/b.txt")));
  EXPECT_EQ(0600, FileMode(DataPath("a/b.txt")));
  EXPECT_EQ(0700, FileMode(DataPath("a")));
  // Directories get owner rwx added to the file's permissions.
  EXPECT_EQ(0640, FileMode(DataPath("c/d.txt")));
  EXPECT_EQ(0740, FileMode(DataPath("c")));

  // Text is condensed (and entities decoded) except inside CDATA.
  Run("<write filename='plain'>  line one\n   line   two &lt;&amp;\t</write>");
  EXPECT_EQ("line one line two <&", ReadFile(DataPath("plain")));
}

TEST_F(FileActionsTest, WriteTruncatesAStaleTemporaryFile) {
  WriteFile(DataPath("f.txt.tmp"), "a much longer stale content");
  Run("<write filename='f.txt'>new</write>");
  EXPECT_EQ("new", ReadFile(DataPath("f.txt")));
  EXPECT_FALSE(PathExists(DataPath("f.txt.tmp")));
}

TEST_F(FileActionsTest, WriteFailures) {
  EXPECT_VQ_CODE(Assemble("<write>x</write>"), kErrWriteNoFilename);
  EXPECT_VQ_CODE(Assemble("<write filename='f' perm='rwd------'>x</write>"),
                 kErrWriteBadPerm);
  WriteFile(DataPath("file"), "");
  EXPECT_VQ_CODE(Assemble("<write filename='file/sub/f'>x</write>"),
                 kErrWriteOpen);
  vq_testing::MakeDirs(DataPath("dir.tmp"));
  EXPECT_VQ_CODE(Assemble("<write filename='dir'>x</write>"), kErrWriteOpen);
  EXPECT_THROW(Assemble("<write filename='f'><!-- c -->x</write>"),
               std::logic_error);
}

TEST_F(FileActionsTest, WebSkipsACurrentFileButSetsItsPermissions) {
  WriteFile(DataPath("current"), "same");
  vq_testing::SetFileMode(DataPath("current"), 0644);
  // No request reaches the server (it would fail the test).
  EXPECT_EQ(0u, Assemble("<web url='" + server_.url("/current") +
                         "' filename='current' md5='" + Md5Hex("same") +
                         "' perm='r--------'/>"));
  EXPECT_EQ(0400, FileMode(DataPath("current")));
}

TEST_F(FileActionsTest, WebDigestFailuresAreCode30WithNothingLeft) {
  const std::string body = "content";
  server_.Always("GET", "/f", {200, {}, body});
  server_.Always("GET", "/missing", {404, {}, "not found"});
  WriteFile(DataPath("f"), body);
  vq_testing::MakeDirs(DataPath("d"));
  // The right digest in upper case never matches: the file is downloaded
  // again and the fresh digest differs from the attribute.
  std::string upper = Md5Hex(body);
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  try {
    Assemble("<web url='" + server_.url("/f") + "' filename='f' md5='" +
             upper + "'/>");
    ADD_FAILURE() << "no exception";
  } catch (const VqException& e) {
    EXPECT_EQ(kErrWebMd5Mismatch, e.getErrorCode());
    EXPECT_EQ(0, static_cast<int>(e.getErrorZone()));
    EXPECT_EQ(0, static_cast<int>(e.getErrorSeverity()));
    EXPECT_EQ("Downloaded md5 of " + server_.url("/f") + " was " +
                  Md5Hex(body), e.what());
  }
  // An error page is a complete exchange whose digest does not match; a
  // directory target can never be replaced and is refused before
  // downloading.
  const std::string md5 = "' md5='" + Md5Hex(body) + "'/>";
  EXPECT_VQ_CODE(Assemble("<web url='" + server_.url("/missing") +
                          "' filename='g" + md5),
                 kErrWebMd5Mismatch);
  EXPECT_VQ_CODE(Assemble("<web url='" + server_.url("/d") +
                          "' filename='d" + md5),
                 kErrWebMd5Mismatch);
  EXPECT_EQ((std::vector<std::string>{"d", "f"}), DataEntries());
}

TEST_F(FileActionsTest, WebMissingAttributesAndRefusedConnection) {
  const std::string md5 = " md5='" + Md5Hex("x") + "'";
  EXPECT_VQ_CODE(Assemble("<web filename='f'" + md5 + "/>"), kErrWebNoUrl);
  EXPECT_VQ_CODE(Assemble("<web url='u'" + md5 + "/>"), kErrWebNoFilename);
  EXPECT_VQ_CODE(Assemble("<web url='u' filename='f'/>"), kErrWebNoMd5);
  EXPECT_VQ_CODE(Assemble("<web url='u' filename='f' perm='x'" + md5 + "/>"),
                 kErrWebBadPerm);
  int closedPort = 0;
  { closedPort = vq_testing::TestHttpServer().port(); }
  EXPECT_VQ_CODE(Assemble("<web url='http://127.0.0.1:" +
                          std::to_string(closedPort) + "/f' filename='f'" +
                          md5 + "/>"),
                 kErrTransport);
  EXPECT_EQ(std::vector<std::string>{}, DataEntries());
}

TEST_F(FileActionsTest, DeleteStaysInsideTheDataDirectory) {
  WriteFile(DataPath("sub/victim"), "v");
  Run("<delete filename='sub/../sub/victim'/><delete filename='absent'/>");
  EXPECT_FALSE(PathExists(DataPath("sub/victim")));
  EXPECT_TRUE(reporter_.reports.empty());

  // Outside: climbing up, elsewhere, and a sibling sharing the name prefix.
  const std::string sibling = dir_.path() + "base";
  WriteFile(sibling + "/keep", "k");
  for (const std::string& name : {std::string("../outside"),
                                   std::string("/etc/hosts"), sibling + "/keep"}) {
    EXPECT_VQ_CODE(Assemble("<delete filename='" + name + "'/>"),
                   kErrDeleteOutsideDataDir);
  }
  EXPECT_TRUE(PathExists(sibling + "/keep"));
  std::filesystem::remove_all(sibling);
  EXPECT_VQ_CODE(Assemble("<delete/>"), kErrDeleteNoFilename);
}

TEST_F(FileActionsTest, SetAndQuitTakeEffectAtCommitOnly) {
  VqApplication::setEnv("x", "before");
  Run("<set name='x'/><set name='y' value='${dir.data}'/>");
  EXPECT_EQ("", VqApplication::getEnv("x"));
  EXPECT_EQ("${dir.data}", VqApplication::getEnv("y"));  // not expanded
  Run("<set name='z' value='1'/><quit/><error description='no'/>");
  EXPECT_EQ("", VqApplication::getEnv("z"));
  EXPECT_FALSE(external_.quit);
  EXPECT_VQ_CODE(Assemble("<set value='1'/>"), kErrSetNoName);
}

}  // namespace
}  // namespace vq_response_test
