// The actions that read XML files through path expressions: launch with
// its if-tests, and xmledit with every command.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/vq_application.h"
#include "response/bounded_xml.h"
#include "response_test_support.h"
#include "testing/file_util.h"

namespace vq_response_test {
namespace {

using vq_testing::ReadFile;
using vq_testing::WriteFile;

class LaunchTest : public ResponseTest {
 protected:
  LaunchTest() {
    WriteFile(DataPath("config.xml"),
              "<config><item id='1' on='yes'/><item id='2'/></config>");
  }

  // Runs a transaction holding one launch with `ifs` and returns whether
  // the program was started.
  bool Launches(const std::string& ifs) {
    external_.launches.clear();
    RunTransactions("<vq><transaction><launch>" + ifs +
                    "<command>prog</command></launch></transaction></vq>");
    return !external_.launches.empty();
  }

  static std::string If(const std::string& file, const std::string& rpn) {
    return "<if filename='" + file + "' rpn=\"" + rpn + "\"/>";
  }
};

TEST_F(LaunchTest, CommandAndArgumentsAreExpandedInOrder) {
  VqApplication::setEnv("tool", "/bin/tool");
  RunTransactions(
      "<vq><transaction><launch><arg>a</arg><command>${tool}</command>"
      "<command>ignored</command><arg>${dir.data}/b</arg><arg/></launch>"
      "</transaction></vq>");
  ASSERT_EQ(1u, external_.launches.size());
  EXPECT_EQ("/bin/tool", external_.launches[0].command);
  EXPECT_EQ((std::vector<std::string>{"a", dir_.path() + "/b", ""}),
            external_.launches[0].arguments);

  // Without a command child the command is empty.
  external_.launches.clear();
  RunTransactions("<vq><transaction><launch/></transaction></vq>");
  ASSERT_EQ(1u, external_.launches.size());
  EXPECT_EQ("", external_.launches[0].command);
}

TEST_F(LaunchTest, IfTestsAreJoinedByOr) {
  EXPECT_TRUE(Launches(""));
  EXPECT_TRUE(Launches(If("config.xml", "/config/item[@on 'yes' =]")));
  EXPECT_FALSE(Launches(If("config.xml", "/config/item[@id '3' =]")));
  // A missing file does not hold and is no error.
  EXPECT_TRUE(Launches(If("missing.xml", "/config") +
                       If("${dir.data}/config.xml", "/config/item[last() 1 =]")));
  EXPECT_FALSE(Launches(If("missing.xml", "/config")));
  // Once a test holds, later ones are not even checked.
  EXPECT_TRUE(Launches(If("config.xml", "/config") + "<if rpn='/x'/>"));
  // A launch that is skipped leaves the transaction successful.
  EXPECT_TRUE(reporter_.reports.empty());
}

TEST_F(LaunchTest, IfTestFailuresAbandonTheTransaction) {
  WriteFile(DataPath("broken.xml"), "<config>");
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  WriteFile(DataPath("deep.xml"), deep);
  struct Case {
    std::string ifs;
    VqErrorCode code;
  } cases[] = {
      {"<if rpn='/config'/>", kErrLaunchIfNoFilename},
      {"<if filename='config.xml'/>", kErrLaunchIfNoRpn},
      {If("config.xml", "config"), kErrLaunchRpn},
      {If("config.xml", "/config/item['x' 1 -]"), kErrLaunchRpn},
      {If("broken.xml", "/config"), kErrLaunchParse},
      {If("deep.xml", "/a"), kErrLaunchParse},  // beyond the nesting bound
      // A failing first test is checked even when a later one would hold.
      {If("config.xml", "/none") + "<if rpn='/config'/>" +
           If("config.xml", "/config"),
       kErrLaunchIfNoFilename},
  };
  for (const Case& c : cases) {
    reporter_.reports.clear();
    EXPECT_FALSE(Launches(c.ifs)) << c.ifs;
    ASSERT_EQ(1u, reporter_.reports.size()) << c.ifs;
    EXPECT_EQ(c.code, reporter_.reports[0].getErrorCode())
        << reporter_.reports[0].what();
  }
  EXPECT_NE(std::string(reporter_.reports[0].what())
                .find("launch if test has no filename attribute in launch "
                      "command <launch>"),
            std::string::npos)
      << reporter_.reports[0].what();
}

class XmlEditTest : public ResponseTest {
 protected:
  // Writes `before` to edit.xml, runs one xmledit with `commands` over it
  // and returns the file's content afterwards.
  std::string Edit(const std::string& before, const std::string& commands) {
    WriteFile(DataPath("edit.xml"), before);
    RunTransactions("<vq><transaction><xmledit filename='edit.xml'>" +
                    commands + "</xmledit></transaction></vq>");
    return ReadFile(DataPath("edit.xml"));
  }

  // Expects the edit to be abandoned with `code`, leaving the file as it
  // was.
  void ExpectFailure(const std::string& commands, VqErrorCode code) {
    const std::string before = "<r><a/><b/></r>";
    reporter_.reports.clear();
    EXPECT_EQ(before, Edit(before, commands)) << commands;
    ASSERT_EQ(1u, reporter_.reports.size()) << commands;
    EXPECT_EQ(code, reporter_.reports[0].getErrorCode())
        << reporter_.reports[0].what();
  }
};

TEST_F(XmlEditTest, InsertionCommandsPlaceContentInWrittenOrder) {
  const std::string before = "<r><a/><t>x</t><b/></r>";
  EXPECT_EQ("<r><a><c1 /><c2 /></a><t>x</t><b /></r>",
            Edit(before, "<append rpn='/r/a'><c1/><c2/></append>"));
  EXPECT_EQ("<r><a /><n1 />text<!--c--><n2 /><t>x</t><b /></r>",
            Edit(before, "<insertAfter rpn='/r/a'><n1/>text<!--c--><n2/>"
                         "</insertAfter>"));
  EXPECT_EQ("<r><a /><t>x</t><b /><n1 /><n2 /></r>",
            Edit(before, "<insertAfter rpn='/r/b'><n1/><n2/></insertAfter>"));
  EXPECT_EQ("<r><n1 /><n2 /><a /><t>x</t><b /></r>",
            Edit(before, "<insertBefore rpn='/r/a'><n1/><n2/></insertBefore>"));
  EXPECT_EQ("<r><a /><n1 /><n2 /><n3 /><b /></r>",
            Edit(before, "<replace rpn='/r/t'><n1/><n2/><n3/></replace>"));
  EXPECT_EQ("<r><a /><b /></r>", Edit(before, "<delete rpn='/r/t'/>"));
}

TEST_F(XmlEditTest, InsertAtCountsEveryNodeAndAppendsOutOfRange) {
  const std::string before = "<r><p>text<c/></p></r>";
  EXPECT_EQ("<r><p><n />text<c /></p></r>",
            Edit(before, "<insertAt rpn='/r/p' position='0'><n/></insertAt>"));
  EXPECT_EQ("<r><p>text<n /><c /></p></r>",
            Edit(before, "<insertAt rpn='/r/p' position='1'><n/></insertAt>"));
  for (const char* position : {"2", "5", "-1"}) {
    EXPECT_EQ("<r><p>text<c /><n /></p></r>",
              Edit(before, std::string("<insertAt rpn='/r/p' position='") +
                               position + "'><n/></insertAt>"))
        << position;
  }
}

TEST_F(XmlEditTest, AttributeCommandsApplyToEverySelectedElement) {
  const std::string before =
      "<r><i id='1' k='v'/><i id='2' k='v'/><j id='3'/></r>";
  EXPECT_EQ("<r><i id=\"1\" k=\"w\" /><i id=\"2\" k=\"w\" /><j id=\"3\" /></r>",
            Edit(before, "<setAttribute rpn='/r/i' name='k' value='w'/>"));
  EXPECT_EQ("<r><i id=\"1\" /><i id=\"2\" k=\"v\" /><j id=\"3\" n=\"\" /></r>",
            Edit(before, "<clearAttribute rpn='/r/i[first()]' name='k'/>"
                         "<clearAttribute rpn='/r/j' name='absent'/>"
                         "<setAttribute rpn='/r/j' name='n' value=''/>"));
  // Commands see what earlier commands left; unknown commands select but do
  // nothing; text and comments between commands are ignored.
  EXPECT_EQ("<r><i id=\"1\" k=\"v\" /><i id=\"2\" k=\"v\" /></r>",
            Edit(before, "<delete rpn='/r/j'/> text <!-- c -->"
                         "<frobnicate rpn='/r/i'/>"
                         "<setAttribute rpn='/r/j' name='k' value='w'/>"));
}

TEST_F(XmlEditTest, FileIsRewrittenCompactlyWithOwnerOnlyPermissions) {
  WriteFile(DataPath("edit.xml"),
            "<?xml version=\"1.0\" ?>\n<r>\n  <a>  spaced   text </a>\n</r>\n");
  vq_testing::SetFileMode(DataPath("edit.xml"), 0644);
  // A command without its attributes raises nothing when it selects
  // nothing.
  RunTransactions("<vq><transaction><xmledit filename='${dir.data}/edit.xml'>"
                  "<clearAttribute rpn='/r/none'/></xmledit></transaction></vq>");
  EXPECT_TRUE(reporter_.reports.empty());
  EXPECT_EQ("<?xml version=\"1.0\" ?><r><a>spaced text</a></r>",
            ReadFile(DataPath("edit.xml")));
  EXPECT_EQ(0600, vq_testing::FileMode(DataPath("edit.xml")));
  EXPECT_EQ((std::vector<std::string>{"edit.xml"}), DataEntries());
}

TEST_F(XmlEditTest, TwoEditsOfOneFileInOneTransactionKeepTheSecond) {
  WriteFile(DataPath("edit.xml"), "<r/>");
  RunTransactions(
      "<vq><transaction>"
      "<xmledit filename='edit.xml'><append rpn='/r'><first/></append></xmledit>"
      "<xmledit filename='edit.xml'><append rpn='/r'><second/></append>"
      "</xmledit></transaction></vq>");
  EXPECT_EQ("<r><second /></r>", ReadFile(DataPath("edit.xml")));
}

TEST_F(XmlEditTest, FailuresLeaveTheFileUntouched) {
  ExpectFailure("<setAttribute rpn='/r/a' value='v'/>",
                kErrXmlEditSetAttributeNoName);
  ExpectFailure("<setAttribute rpn='/r/a' name='n'/>",
                kErrXmlEditSetAttributeNoValue);
  ExpectFailure("<clearAttribute rpn='/r/a'/>",
                kErrXmlEditClearAttributeNoName);
  ExpectFailure("<insertAt rpn='/r/a'><n/></insertAt>",
                kErrXmlEditInsertAtNoPosition);
  ExpectFailure("<insertAt rpn='/r/a' position='first'><n/></insertAt>",
                kErrXmlEditInsertAtNotNumeric);
  // An earlier command's edit is lost with the failing one.
  ExpectFailure("<delete rpn='/r/b'/><append><n/></append>", kErrXmlEditNoRpn);

  EXPECT_VQ_CODE(Assemble("<xmledit><delete rpn='/r'/></xmledit>"),
                 kErrXmlEditNoFilename);
  EXPECT_VQ_CODE(Assemble("<other filename='edit.xml'/>"),
                 kErrXmlEditBadNodeName);
  // A missing file is only a warning: nothing to do, no failure.
  EXPECT_EQ(0u, Assemble("<xmledit filename='none.xml'><delete rpn='/r'/>"
                         "</xmledit>"));

  // Unparsable, and nesting beyond the bound.
  WriteFile(DataPath("bad.xml"), "<r><unclosed></r>");
  EXPECT_VQ_CODE(Assemble("<xmledit filename='bad.xml'/>"), kErrXmlEditParse);
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  WriteFile(DataPath("deep.xml"), deep);
  EXPECT_VQ_CODE(Assemble("<xmledit filename='deep.xml'/>"), kErrXmlEditParse);

  // Edits never nest the file deeper than it could be read again.
  std::string open;
  std::string close;
  std::string path;
  for (std::size_t i = 0; i < kMaxXmlDepth; ++i) {
    open += "<a>";
    close += "</a>";
    path += "/a";
  }
  WriteFile(DataPath("full.xml"), open + close);
  EXPECT_VQ_CODE(Assemble("<xmledit filename='full.xml'><append rpn='" + path +
                          "'><x/></append></xmledit>"),
                 kErrXmlEditParse);
  EXPECT_EQ(1u, Assemble("<xmledit filename='full.xml'><insertAfter rpn='" +
                         path + "'><x/></insertAfter></xmledit>"));

  // Path errors end the whole document.
  WriteFile(DataPath("edit.xml"), "<r/>");
  EXPECT_THROW(RunTransactions("<vq><transaction><xmledit filename='edit.xml'>"
                               "<delete rpn='/r b'/></xmledit></transaction>"
                               "</vq>"),
               std::string);
  EXPECT_EQ("<r/>", ReadFile(DataPath("edit.xml")));
}

}  // namespace
}  // namespace vq_response_test
