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
  // Two "a" parents with "b" children and text and comments in between. Filter variables,
  // operators and errors are run on the documentation's examples (docs_examples_test) and against
  // a reference filter (rpn_path_corpus_test); these rows pin what those do not reach.
  TiXmlDocument document;
  document.Parse(
      "<a name='a1'>  <b id='1' k='v'/> text <!-- c --> <b id='5'/> <b id='5.0' k='v'/>"
      "  <b id='05x'/> <b id=''/> <c id='5'/> <b/></a><a name='a2'><b id='2'/></a>");
  ASSERT_FALSE(document.Error()) << document.ErrorDesc();
  const char* const cases[][2] = {
      {"", "(root)"}, {"/", "a a"}, {"  ", "a a"},
      {"/a/", "b#1 b#5 b#5.0 b#05x b# c#5 b b#2"},
      // There is no parent step: ".." is a name like any other.
      {"/a/b/..", ""},
      {" / a /b\t[first()]", "b#1 b#2"},
      // An empty attribute is the number 0, not void.
      {"/a/b[@id 0 =]", "b#"},
      // count() and position() count anew after each filter.
      {"/a/b[@k 'v' =][count() 2 = position() 1 = and]", "b#5.0"},
      // An unclosed filter runs to the end; quoted "]" and "/" do not end it.
      {"/a/b[first()", "b#1 b#2"},
      {"/a/b[@id 'x]/y' != @k 'v' = and", "b#1 b#5.0"},
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
