#include "rpn/rpn_path.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

namespace {

// Two "a" parents with "b" children, text and comments in between, and a
// third top-level element.
constexpr char kDocument[] =
    "<a name='a1'>"
    "  <b id='1' k='v'/> text <!-- c --> <b id='5'/> <b id='5.0' k='v'/>"
    "  <b id='05x'/> <b id=''/> <c id='5'/> <b/>"
    "</a>"
    "<a name='a2'><b id='2'/></a>"
    "<z><Item id='i1'/><ITEM id='i2'/><item id='i3'/></z>";

// Runs `text` over `root` and describes each selected element as name#id
// (name alone without an id), or returns "error: <message>".
std::string Select(TiXmlNode* root, const char* text) {
  try {
    RpnPath path(text);
    std::vector<TiXmlNode*> result;
    path.filter(root, result);
    std::string out;
    for (TiXmlNode* node : result) {
      if (!out.empty())
        out += ' ';
      out += node == root ? "(root)" : node->ValueStr();
      const TiXmlElement* element = node->ToElement();
      const std::string* id =
          element ? element->Attribute(std::string("id")) : nullptr;
      if (id)
        out += "#" + *id;
    }
    return out;
  } catch (const std::string& message) {
    return "error: " + message;
  }
}

class RpnPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    document_.Parse(kDocument);
    ASSERT_FALSE(document_.Error()) << document_.ErrorDesc();
  }
  std::string Select(const char* text) { return ::Select(&document_, text); }

  TiXmlDocument document_;
};

TEST_F(RpnPathTest, StepsGoOneLevelDownAndMatchNames) {
  EXPECT_EQ("(root)", Select(""));
  EXPECT_EQ("a a z", Select("/"));
  EXPECT_EQ("a a z", Select("  "));
  EXPECT_EQ("b#1 b#5 b#5.0 b#05x b# c#5 b b#2", Select("/a/"));
  EXPECT_EQ("b#1 b#5 b#5.0 b#05x b# b b#2", Select("//b"));
  // Nothing under "c": later steps are not run, so their errors never show.
  EXPECT_EQ("", Select("/a/c/d['x' 1 -]"));
  // There is no parent step: ".." is a name like any other.
  EXPECT_EQ("", Select("/a/b/.."));
  EXPECT_EQ("item#i3", Select("/z/item"));
  EXPECT_EQ("Item#i1 ITEM#i2 item#i3", Select("/z/[name() lower() 'item' =]"));
  EXPECT_EQ(Select("/a/b[first()]"), Select(" / a /b\t[first()]"));
}

TEST_F(RpnPathTest, AttributeFilters) {
  EXPECT_EQ("b#5 b#5.0", Select("/a/b[@id '5' =]"));
  EXPECT_EQ("b#", Select("/a/b[@id 0 =]"));
  EXPECT_EQ("b", Select("/a/b[@id isVoid()]"));
  // A missing attribute fails every comparison, "!=" included.
  EXPECT_EQ("b#1 b#05x b# b#2", Select("/a/b[@id '5' !=]"));
  EXPECT_EQ("b#5.0", Select("/a/b[@k 'v' = @id 5 = and]"));
  // Comparing a candidate's value with a constant takes a quicker route;
  // with the operands swapped it takes the general one. Both must agree.
  const char* const pairs[][2] = {
      {"/a/b[@id '5' =]", "/a/b['5' @id =]"},
      {"/a/b[@id '5' <]", "/a/b['5' @id >]"},
      {"/a/b[@id '05x' >=]", "/a/b['05x' @id <=]"},
      {"/a/b[@id '' !=]", "/a/b['' @id !=]"},
      {"/z/[name() 'Item' >]", "/z/['Item' name() <]"},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(Select(pair[1]), Select(pair[0])) << pair[0];
  }
}

TEST_F(RpnPathTest, PositionsCountPerParentAndAnewAfterEachFilter) {
  EXPECT_EQ("b#1 b#5 b#2", Select("/a/b[position() 2 <]"));
  EXPECT_EQ("b b#2", Select("/a/b[rposition() 0 =]"));
  EXPECT_EQ("b b#2", Select("/a/b[last() 1 =]"));
  // last() is a number, not a boolean.
  EXPECT_EQ("", Select("/a/b[last()]"));
  EXPECT_EQ("b#2", Select("/a/b[count() 1 =]"));
  EXPECT_EQ("b#1 b#2", Select("/a/b[first()]"));
  EXPECT_EQ("b#1", Select("/a/b[@k 'v' =][first()]"));
  EXPECT_EQ("b#5.0", Select("/a/b[@k 'v' =][count() 2 = position() 1 = and]"));
  EXPECT_EQ("b#2", Select("/a[@name 'a2' =]/b[first()]"));
}

TEST_F(RpnPathTest, UnclosedAndEmptyFilters) {
  EXPECT_EQ("b#1 b#2", Select("/a/b[first()"));
  // Quoted "]" and "/" do not end the filter.
  EXPECT_EQ("b#1 b#5.0", Select("/a/b[@id 'x]/y' != @k 'v' = and"));
  // A filter without tokens selects nothing.
  EXPECT_EQ("", Select("/a/b[]"));
  EXPECT_EQ("", Select("/a/b[  ]"));
}

TEST_F(RpnPathTest, Errors) {
  EXPECT_EQ("error: RPN Path Expression must start with /", Select("a/b"));
  EXPECT_EQ("error: Unexpected token in rpn expression: b", Select("/a b"));
  EXPECT_EQ("error: Unexpected token in rpn expression: x /c",
            Select("/a[TRUE] x /c"));
  EXPECT_EQ("error: operator - requires numeric operands",
            Select("/a/b['x' 1 -]"));
  EXPECT_EQ("error: Unrecognized rpn operator: bogus", Select("/a/b[bogus]"));

  // An evaluation error leaves the result as it was.
  RpnPath path("/a/b[@id 1 = @id 'x' - and]");
  std::vector<TiXmlNode*> result{&document_};
  EXPECT_THROW(path.filter(&document_, result), std::string);
  EXPECT_EQ(std::vector<TiXmlNode*>{&document_}, result);
  // A null root selects nothing.
  path.filter(nullptr, result);
  EXPECT_TRUE(result.empty());
}

TEST(RpnPathNames, NamesHoldingQuotesOrDigitsMatchAsTheirText) {
  TiXmlDocument document;
  TiXmlElement* root = new TiXmlElement("r");
  document.LinkEndChild(root);
  for (const char* name : {"it's", "say\"x\"", "both'\"", "a]b", "5", "5.0"}) {
    root->LinkEndChild(new TiXmlElement(name));
  }
  for (const char* name : {"it's", "say\"x\"", "both'\"", "a]b"}) {
    EXPECT_EQ(name, Select(&document, (std::string("/r/") + name).c_str()));
  }
  // A numeric name compares as a number, as the filter name() '5' = does.
  EXPECT_EQ("5 5.0", Select(&document, "/r/5"));
}

}  // namespace
