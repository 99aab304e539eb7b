#include "rpn/rpn_path.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

namespace {

// Runs `text` over `root` and describes each selected element as name#id (name alone without an
// id), or returns "error: <message>".
std::string Select(TiXmlNode* root, const std::string& text) {
  try {
    RpnPath path(text.c_str());
    std::vector<TiXmlNode*> result;
    path.filter(root, result);
    std::string out;
    for (TiXmlNode* node : result) {
      out += (out.empty() ? "" : " ") + (node == root ? std::string("(root)") : node->ValueStr());
      const TiXmlElement* e = node->ToElement();
      if (const std::string* id = e ? e->Attribute(std::string("id")) : nullptr)
        out += "#" + *id;
    }
    return out;
  } catch (const std::string& message) {
    return "error: " + message;
  }
}

TEST(RpnPath, SelectionsAndErrors) {
  // Two "a" parents with "b" children, text and comments in between, and a third top-level
  // element.
  TiXmlDocument document;
  document.Parse(
      "<a name='a1'>  <b id='1' k='v'/> text <!-- c --> <b id='5'/> <b id='5.0' k='v'/>"
      "  <b id='05x'/> <b id=''/> <c id='5'/> <b/></a><a name='a2'><b id='2'/></a>"
      "<z><Item id='i1'/><ITEM id='i2'/><item id='i3'/></z>");
  ASSERT_FALSE(document.Error()) << document.ErrorDesc();
  const char* const cases[][2] = {
      {"", "(root)"}, {"/", "a a z"}, {"  ", "a a z"},
      {"/a/", "b#1 b#5 b#5.0 b#05x b# c#5 b b#2"},
      {"//b", "b#1 b#5 b#5.0 b#05x b# b b#2"},
      // Nothing under "c": later steps are not run, so their errors never show.
      {"/a/c/d['x' 1 -]", ""},
      // There is no parent step: ".." is a name like any other.
      {"/a/b/..", ""}, {"/z/item", "item#i3"},
      {"/z/[name() lower() 'item' =]", "Item#i1 ITEM#i2 item#i3"},
      {" / a /b\t[first()]", "b#1 b#2"}, {"/a/b[@id '5' =]", "b#5 b#5.0"},
      {"/a/b[@id 0 =]", "b#"}, {"/a/b[@id isVoid()]", "b"},
      // A missing attribute fails every comparison, "!=" included.
      {"/a/b[@id '5' !=]", "b#1 b#05x b# b#2"},
      {"/a/b[@k 'v' = @id 5 = and]", "b#5.0"},
      // Positions count per parent, and anew after each filter.
      {"/a/b[position() 2 <]", "b#1 b#5 b#2"},
      {"/a/b[rposition() 0 =]", "b b#2"}, {"/a/b[last() 1 =]", "b b#2"},
      {"/a/b[last()]", ""},  // a number, not a boolean
      {"/a/b[count() 1 =]", "b#2"}, {"/a/b[@k 'v' =][first()]", "b#1"},
      {"/a/b[@k 'v' =][count() 2 = position() 1 = and]", "b#5.0"},
      {"/a[@name 'a2' =]/b[first()]", "b#2"},
      // An unclosed filter runs to the end; quoted "]" and "/" do not end it.
      {"/a/b[first()", "b#1 b#2"},
      {"/a/b[@id 'x]/y' != @k 'v' = and", "b#1 b#5.0"}, {"/a/b[]", ""},
      {"a/b", "error: RPN Path Expression must start with /"},
      {"/a[TRUE] x /c", "error: Unexpected token in rpn expression: x /c"},
      {"/a/b['x' 1 -]", "error: operator - requires numeric operands"},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], Select(&document, c[0])) << c[0];
  // An evaluation error leaves the result as it was; a null root selects nothing.
  RpnPath path("/a/b[@id 1 = @id 'x' - and]");
  std::vector<TiXmlNode*> result{&document};
  EXPECT_THROW(path.filter(&document, result), std::string);
  EXPECT_EQ(std::vector<TiXmlNode*>{&document}, result);
  path.filter(nullptr, result);
  EXPECT_TRUE(result.empty());
}

TEST(RpnPath, NamesHoldingQuotesOrDigitsMatchAsTheirText) {
  TiXmlDocument document;
  TiXmlElement* root = new TiXmlElement("r");
  document.LinkEndChild(root);
  for (const char* name : {"it's", "say\"x\"", "both'\"", "a]b", "5", "5.0"})
    root->LinkEndChild(new TiXmlElement(name));
  for (const std::string name : {"it's", "say\"x\"", "both'\"", "a]b"})
    EXPECT_EQ(name, Select(&document, "/r/" + name));
  // A numeric name compares as a number, as the filter name() '5' = does.
  EXPECT_EQ("5 5.0", Select(&document, "/r/5"));
}

}  // namespace
