// The response processor on real files in a temporary data directory, with downloads from and
// responses fetched from a loopback server.
#include <apr_general.h>
#include <tinyxml.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "response/response_fixture.h"
#include "response/vq_response_processor.h"
#include "support/bounded_xml.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "web/apple_web.h"

namespace {

using vq_testing::FileMode, vq_testing::MakeDirs, vq_testing::PathExists, vq_testing::ReadFile,
    vq_testing::SetFileMode, vq_testing::WriteFile;

std::vector<int> CodeZoneSeverity(const VqException& e) {
  return {e.getErrorCode(), e.getErrorZone(), e.getErrorSeverity()};
}

// The MD5 digests of "content" and "current".
const std::string kMd5Content = "9a0364b9e99bb480dd25e1f0284c8555";
const std::string kMd5Current = "43b5c9175984c071f30b873fdce0a000";

class ResponseTest : public DataDirTest {
 protected:
  void RunTransactions(const std::string& documentXml) {
    TiXmlDocument document;
    document.Parse(documentXml.c_str());
    ASSERT_FALSE(document.Error()) << documentXml;
    VqResponseProcessor(pool_, &app_, "http://server/vq.php")
        .processTransactions(document.RootElement(), &app_);
  }
  // Runs `actionsXml` as one transaction; the code it was abandoned and reported with, or 0.
  int FailureCode(const std::string& actionsXml) {
    app_.reports.clear();
    RunTransactions("<vq><transaction>" + actionsXml + "</transaction></vq>");
    return app_.reports.empty() ? 0 : app_.reports[0].getErrorCode();
  }
  // Everything below the data directory as sorted relative paths.
  Strings DataEntries() const {
    Strings entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path()))
      entries.push_back(entry.path().lexically_relative(dir_.path()));
    std::sort(entries.begin(), entries.end());
    return entries;
  }
};

std::string Write(const std::string& name) {
  return "<write filename='" + name + "'>" + name + "</write>";
}

std::string Transaction(const std::string& attributes, const std::string& actions) {
  return "<transaction " + attributes + ">" + actions + "</transaction>";
}

// A document that writes "ran.txt", then fails a transaction.
std::string Document(const std::string& rootAttributes, const std::string& rootName = "vq") {
  return "<" + rootName + " " + rootAttributes + ">" + Transaction("", Write("ran.txt")) +
         Transaction("", "<error description='x'/>") + "</" + rootName + ">";
}

TEST_F(ResponseTest, EveryActionReachesTheDisk) {
  vq_testing::TestHttpServer server;
  const std::string payload(100000, 'p');
  server.ExpectOnce("GET", "/payload.bin", {200, {}, payload});
  // Read with line ends as "\n" (also in CDATA), as TinyXML reads files.
  WriteFile(DataPath("settings.xml"),
            "<?xml version=\"1.0\" ?>\r\n<settings>\r\n <server url='a'/><server url='b'/><old/>"
            "\r\n<t><![CDATA[a\r\nb\rc]]></t></settings>\r\n");
  SetFileMode(DataPath("settings.xml"), 0644);
  WriteFile(DataPath("sub/obsolete.txt"), "gone soon");
  WriteFile(DataPath("current.bin"), "current");
  WriteFile(DataPath("plain.tmp"), "a much longer stale content");
  VqApplication::setEnv("host", server.url("").c_str());
  VqApplication::setEnv("feature", "off");
  VqApplication::setEnv("cleared", "x");

  const std::string document =
      "<vq version='2.0' update='120'><transaction>"
      "<write filename='${dir.data}/notes/readme.txt' perm='rw-r-----'>"
      "<![CDATA[line 1\nline 2]]></write>"
      "<write filename='plain'>  line one\n   line   two &lt;&amp;\t</write>"
      "<web url='${host}/payload.bin' filename='bin/payload.bin' md5="
      "'bdd652081866f485733f9af2ae53e40e'/><web url='${host}/never' filename="
      "'current.bin' perm='r--------' md5='" + kMd5Current + "'/>"
      "<delete filename='sub/../sub/obsolete.txt'/><delete filename='absent'/>"
      "<set name='feature' value='${dir.data}'/><set name='cleared'/>"
      "<xmledit filename='settings.xml'><setAttribute rpn=\"/settings/server[@url 'b' =]\" "
      "name='url' value='c'/><delete rpn='/settings/old'/>"
      "<append rpn='/settings'><new>n</new></append></xmledit>"
      "<xmledit filename='none.xml'><delete rpn='/x'/></xmledit>"
      "<launch><if filename='settings.xml' rpn='/settings/old'/><arg>-u</arg>"
      "<command>${dir.data}/app</command><command>no</command><arg/></launch>"
      // If-tests are joined by "or"; a missing file does not hold, and tests after one that
      // holds are not checked.
      "<launch><if filename='none.xml' rpn='/settings'/><command>no</command></launch>"
      "<launch><if filename='none.xml' rpn='/settings'/><if filename='settings.xml' "
      "rpn='/settings'/><if/><command>or</command></launch><upgrade/><crash/></transaction>"
      "<transaction><error description='reported' code='300'/></transaction>"
      "<transaction noerrors='true'><quit/></transaction>"
      // Expanded with the variables as they were before "set" ran.
      "<transaction><write filename='${feature}'>f</write><quit/></transaction></vq>";
  server.ExpectOnce("POST", "/vq.php",
                    {200, {{"XXX-VQ-Sig", TestSigner().signBase64(document)}}, document});
  AppleWeb request(pool_);
  request.setUrl(server.url("/vq.php").c_str());
  request.addParameter("feedId", "1");
  ASSERT_TRUE(request.get());
  VqResponseProcessor(pool_, &app_, server.url("/vq.php").c_str()).process(request, &app_, true);

  EXPECT_EQ("line 1\nline 2", ReadFile(DataPath("notes/readme.txt")));
  // Text is condensed and entities decoded; a stale temporary is truncated.
  EXPECT_EQ("line one line two <&", ReadFile(DataPath("plain")));
  EXPECT_EQ(payload, ReadFile(DataPath("bin/payload.bin")));
  // Owner rwx is added to made directories.
  const std::pair<const char*, int> modes[] = {{"notes/readme.txt", 0640}, {"notes", 0740},
      {"bin/payload.bin", 0600}, {"current.bin", 0400}, {"settings.xml", 0600}};
  for (const auto& [name, mode] : modes) EXPECT_EQ(mode, FileMode(DataPath(name))) << name;
  EXPECT_EQ("${dir.data}", VqApplication::getEnv("feature"));  // not expanded
  EXPECT_EQ("", VqApplication::getEnv("cleared"));
  EXPECT_EQ("<?xml version=\"1.0\" ?><settings><server url=\"a\" /><server url=\"c\" /><t>"
            "<![CDATA[a\nb\nc]]></t><new>n</new></settings>",
            ReadFile(DataPath("settings.xml")));  // compact
  // The first if-test saw the file before the edit removed "old".
  EXPECT_EQ((std::vector<Strings>{{dir_.path() + "/app", "-u", ""}, {"or"}}), app_.launches);
  ASSERT_EQ(1u, app_.reports.size());
  EXPECT_EQ(300, app_.reports[0].getErrorCode());
  EXPECT_EQ(server.url("/vq.php"), app_.reports[0].url());
  EXPECT_TRUE(app_.quit);
  // No temporary, backup or journal file is left.
  EXPECT_EQ((Strings{"bin", "bin/payload.bin", "current.bin", "notes", "notes/readme.txt", "off",
                     "plain", "settings.xml", "sub"}),
            DataEntries());
}

TEST_F(ResponseTest, EnvelopeIsCheckedBeforeAnyTransaction) {
  const std::string good = Document("version='2' update=' 42s'");
  std::string deep = "<vq version='2'>";
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  const std::string page = "<html><body>Service Unavailable</body></html>";
  const struct {
    std::string body;
    bool requireSignature;
    std::string signature;
    int code;
    long seconds;  // read before the transactions run (and fail)
  } cases[] = {
      {Document("version='2.00'", "VQ"), false, "", 0, 600},
      {Document("version='2' update='-1'"), false, "garbage", 0, 600},
      {Document("version='2' update='abc'"), false, "", 0, 0},
      {good, true, TestSigner().signBase64(good), 0, 42},
      {Document("version='1.0' update='30'"), false, "", kErrBadVersion, 600},
      {"<!-- only a comment -->", false, "", kErrResponseXmlParse, 600},
      {deep, true, "", kErrResponseXmlParse, 600},  // refused before the signature check
      {page, false, "", kErrNotVqRoot, 600},  // last, for the checks below
  };
  std::optional<VqException> error;
  for (const auto& c : cases) {
    std::filesystem::remove(DataPath("ran.txt"));
    CannedWeb web(pool_, c.body);
    if (!c.signature.empty()) web.setHeader("xxx-vq-sig", c.signature);
    VqResponseProcessor processor(pool_, &app_, "http://server/vq.php");
    error.reset();
    try {
      processor.process(web, &app_, c.requireSignature);
    } catch (const VqException& e) {
      error = e;
    }
    EXPECT_EQ(c.code, error ? error->getErrorCode() : 0) << c.body.substr(0, 80);
    EXPECT_EQ(c.code == 0, PathExists(DataPath("ran.txt")));
    EXPECT_EQ(c.seconds, processor.updateSeconds()) << c.body.substr(0, 80);
  }
  // An error page travels whole in the message.
  ASSERT_TRUE(error);
  EXPECT_EQ((std::vector<int>{kErrNotVqRoot, 1, 2}), CodeZoneSeverity(*error));
  EXPECT_EQ("http://server/vq.php", error->url());
  EXPECT_EQ(0u, std::string(error->what()).find("Server returned: " + page));
}

TEST_F(ResponseTest, FailedTransactionsAreAbandonedSkippedOrEndTheDocument) {
  // A failed transaction executes nothing; only the directories of its writes, made at once,
  // remain. A write onto a directory fails in order: not reported, but it counts for "noerrors".
  WriteFile(DataPath("k"), "k");
  MakeDirs(DataPath("s"));
  const std::string fail = Write("x/x") + "<delete filename='k'/><set name='z' value='1'/><quit/>"
                           "<error description='boom' code='77'/>";
  RunTransactions("<vq>" + Transaction("noerrors='true'", Write("a")) +
                  Transaction("", Write("f") + Write("s")) +
                  Transaction("noerrors='TRUE'", Write("b")) + Transaction("", fail + "<crash/>") +
                  Transaction("noerrors='false'", Write("c")) +
                  Transaction("", "<unknown/>text") +
                  Transaction("onFailure='Break'", "<error description='d' code='x'/>") +
                  Transaction("", Write("d")) +
                  Transaction("onFailure='break'", "<error description='e'/>") +
                  Transaction("", Write("e")) + "</vq>");
  EXPECT_EQ((Strings{"a", "c", "d", "k", "s", "x"}), DataEntries());
  EXPECT_EQ("", VqApplication::getEnv("z"));
  EXPECT_FALSE(app_.quit);
  ASSERT_EQ(3u, app_.reports.size());
  EXPECT_EQ(77, app_.reports[0].getErrorCode());
  // Defaults, also for a non-number.
  EXPECT_EQ((std::vector<int>{130, 0, 1}), CodeZoneSeverity(app_.reports[1]));

  // Path errors (a std::string) and standard-library errors end the document; the
  // transaction's temporary files go, its lock is released.
  WriteFile(DataPath("c.xml"), "<c/>");
  EXPECT_THROW(RunTransactions("<vq>" + Transaction("", Write("h") + "<xmledit filename='c.xml'>"
                                   "<delete rpn='c'/></xmledit>") +
                               Transaction("", Write("i")) + "</vq>"),
               std::string);
  EXPECT_THROW(FailureCode(Write("h") + "<write filename='e'/>"), std::logic_error);
  EXPECT_THROW(FailureCode("<error/>"), std::logic_error);
  EXPECT_EQ(0, FailureCode(Write("j")));
  EXPECT_EQ((Strings{"a", "c", "c.xml", "d", "j", "k", "s", "x"}), DataEntries());
}

TEST_F(ResponseTest, BadActionsAbandonTheTransactionLeavingNothing) {
  vq_testing::TestHttpServer server;
  server.Always("GET", "/f", {200, {}, "content"});
  WriteFile(DataPath("f"), "content");
  WriteFile(DataPath("edit.xml"), "<r><a/><b/></r>");
  MakeDirs(DataPath("dir.xml"));
  std::string deep, full, path;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  for (std::size_t i = 0; i < kMaxXmlDepth; ++i) full = "<a>" + full + "</a>", path += "/a";
  WriteFile(DataPath("deep.xml"), deep);
  WriteFile(DataPath("full.xml"), full);
  const std::string sibling = dir_.path() + "base";  // shares the prefix
  WriteFile(sibling + "/keep", "k");
  const std::string md5 = " md5='" + kMd5Content + "'";
  const std::pair<std::string, int> cases[] = {
      {"<write filename='w' perm='rwd------'>x</write>", kErrWriteBadPerm},
      {"<write filename='f/sub/w'>x</write>", kErrWriteOpen},
      // A directory target is refused before downloading.
      {"<web url='" + server.url("/d") + "' filename='dir.xml'" + md5 + "/>", kErrWebMd5Mismatch},
      {"<delete filename='" + sibling + "/keep'/>", kErrDeleteOutsideDataDir},
      {"<launch><if filename='deep.xml' rpn='/a'/></launch>", kErrLaunchParse},
      {"<xmledit filename='deep.xml'/>", kErrXmlEditParse},
      {"<xmledit filename='dir.xml'/>", kErrXmlEditParse},
      // An edit may not nest the file deeper than it could be read again.
      {"<xmledit filename='full.xml'><append rpn='" + path + "'><x/></append></xmledit>",
       kErrXmlEditParse},
      // A command that fails after an edit leaves the file and the earlier write undone.
      {"<write filename='n'>n</write><xmledit filename='edit.xml'><delete rpn='/r/b'/>"
       "<insertAt rpn='/r' position='x'/></xmledit>", kErrXmlEditInsertAtNotNumeric},
      // The right digest in upper case never matches: the file is downloaded again and the
      // fresh digest differs.
      {"<web url='" + server.url("/f") + "' filename='f' md5='9A0364B9E99BB480DD25E1F0284C8555'/>",
       kErrWebMd5Mismatch},
  };
  for (const auto& [actions, code] : cases) EXPECT_EQ(code, FailureCode(actions)) << actions;
  EXPECT_EQ((std::vector<int>{kErrWebMd5Mismatch, 0, 0}), CodeZoneSeverity(app_.reports[0]));
  EXPECT_EQ("Downloaded md5 of " + server.url("/f") + " was " + kMd5Content,
            app_.reports[0].what());
  EXPECT_EQ(1u, server.request_count());
  EXPECT_EQ((Strings{"deep.xml", "dir.xml", "edit.xml", "f", "full.xml"}), DataEntries());
  EXPECT_EQ("<r><a/><b/></r>", ReadFile(DataPath("edit.xml")));
  EXPECT_TRUE(PathExists(sibling + "/keep"));
  std::filesystem::remove_all(sibling);
  EXPECT_TRUE(app_.launches.empty());
  // Tests run in order until one holds; messages name the launch element.
  ASSERT_EQ(kErrLaunchIfNoFilename, FailureCode("<launch><if filename='edit.xml' rpn='/x'/><if/>"
                                                "<if filename='edit.xml' rpn='/r'/></launch>"));
  EXPECT_EQ(0u, std::string(app_.reports[0].what())
                    .find("launch if test has no filename attribute in launch command <launch>"));
  // Inserting after the deepest element adds no level.
  EXPECT_EQ(0, FailureCode("<xmledit filename='full.xml'><insertAfter rpn='" + path +
                           "'><x/></insertAfter></xmledit>"));
}

TEST_F(ResponseTest, XmlEditCommandsEditEverySelectedElement) {
  // Commands see earlier edits and keep their content's written order; unknown commands, text
  // and comments do nothing, and missing attributes matter only for selected elements.
  const std::pair<std::string, std::string> cases[] = {
      {"<append rpn='/r/a'><c1/><c2/></append>"
       "<insertAfter rpn='/r/a'><n1/>text<!--c--><n2/></insertAfter>"
       "<insertAfter rpn='/r/b'><n3/></insertAfter>"
       "<insertBefore rpn='/r/a'><n4/><n5/></insertBefore>"
       "<replace rpn='/r/t'><n6/><n7/></replace><delete rpn='/r/n1'/>",
       "<r><n4 /><n5 /><a><c1 /><c2 /></a>text<!--c--><n2 /><n6 /><n7 /><b k=\"v\" /><n3 />"
       "<b /><n3 /></r>"},
      // insertAt counts every node and appends when out of range.
      {"<insertAt rpn='/r/t' position='0'><n1/></insertAt>"
       "<insertAt rpn='/r/t' position='2'><n2/></insertAt>"
       "<insertAt rpn='/r/t' position='4'><n3/></insertAt>"
       "<insertAt rpn='/r/t' position='-1'><n4/></insertAt>"
       "<setAttribute rpn='/r/b' name='k' value='w'/><setAttribute rpn='/r/t' name='n' value=''/>"
       "<clearAttribute rpn='/r/b[first()]' name='k'/><clearAttribute rpn='/r/a' name='absent'/>"
       " text <!-- c --><frobnicate rpn='/r/a'/><clearAttribute rpn='/r/none'/>",
       "<r><a /><t n=\"\"><n1 />x<n2 /><c /><n3 /><n4 /></t><b /><b k=\"w\" /></r>"},
  };
  for (const auto& [commands, after] : cases) {
    WriteFile(DataPath("edit.xml"), "<r><a/><t>x<c/></t><b k='v'/><b/></r>");
    EXPECT_EQ(0, FailureCode("<xmledit filename='edit.xml'>" + commands + "</xmledit>"));
    EXPECT_EQ(after, ReadFile(DataPath("edit.xml"))) << commands;
  }
}

}  // namespace
