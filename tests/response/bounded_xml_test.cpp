#include "response/bounded_xml.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += "x";
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

bool Check(const std::string& text, std::size_t maxDepth,
           std::string* why = nullptr) {
  XmlBounds bounds;
  bounds.maxDepth = maxDepth;
  return checkXmlBounds(text.c_str(), text.size(), bounds, why);
}

// The nesting TinyXML itself builds, to compare the scan with.
int TinyXmlDepth(const TiXmlNode* node) {
  int deepest = 0;
  for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling()) {
    if (c->ToElement()) deepest = std::max(deepest, 1 + TinyXmlDepth(c));
  }
  return deepest;
}

TEST(BoundedXmlTest, CountsNestingExactlyAsTinyXmlBuildsIt) {
  std::string why;
  EXPECT_TRUE(Check(Nested(3), 3));
  EXPECT_FALSE(Check(Nested(4), 3, &why));
  EXPECT_NE(why.find("deeper than 3"), std::string::npos) << why;
  // Siblings, empty elements and closed subtrees do not add up.
  EXPECT_TRUE(Check("<r><a/><a></a>" + Nested(2) + Nested(2) + "</r>", 3));

  // Comments, CDATA, quoted values, DOCTYPE, declarations and stray "<"
  // hold element-like text that TinyXML never builds.
  const std::string deep = Nested(10);
  for (const std::string& text : std::vector<std::string>{
           "<r><!--" + deep + "--></r>", "<r><![CDATA[" + deep + "]]></r>",
           "<r a=\"" + deep + "\"/>", "<r a='<a><a>' b=\"/>\"><x/></r>",
           "<!DOCTYPE r><?xml version=\"1.0\"?><r>&lt;a&gt;</r>",
           "<r>1 < 2 <3 </r>"}) {
    EXPECT_TRUE(Check(text, 2)) << text;
    TiXmlDocument document;
    document.Parse(text.c_str());
    EXPECT_LE(TinyXmlDepth(&document), 2) << text;
  }
}

TEST(BoundedXmlTest, RefusesWhatItCannotReadAsTinyXmlDoes) {
  // TinyXML reads a declaration's quoted value past a ">" while other "<?"
  // constructs end there; elements must not hide behind either reading.
  std::string why;
  EXPECT_FALSE(Check("<r><?xml version=\"></a></a>\"?>" + Nested(5) + "</r>",
                     300, &why));
  EXPECT_NE(why.find("ambiguous"), std::string::npos) << why;
  EXPECT_FALSE(Check("<?xml foo=\"x version=\"y>\"?><r/>", 300));
  EXPECT_FALSE(Check("<?pi \"?><r/>", 300));
  EXPECT_TRUE(Check("<?xml version=\"1.0\" encoding='UTF-8'?>"
                    "<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?><r/>",
                    1));

  XmlBounds bounds;
  bounds.maxBytes = 10;
  EXPECT_FALSE(checkXmlBounds("<r>0123456789</r>", 17, bounds, &why));
  EXPECT_NE(why.find("17 bytes"), std::string::npos) << why;
  // TinyXML stops at a NUL, and so does the check.
  const char text[] = "<r/>\0<a><a><a>";
  EXPECT_TRUE(checkXmlBounds(text, sizeof(text) - 1, bounds, nullptr));
}

TEST(BoundedXmlTest, LoadsOnlyBoundedDocuments) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";  // would overflow the stack
  TiXmlDocument document;
  std::string why;
  EXPECT_FALSE(loadBoundedXml(document, deep.c_str(), deep.size(), &why));
  EXPECT_FALSE(document.RootElement());
  const std::string broken = "<vq><a></vq>";
  EXPECT_FALSE(loadBoundedXml(document, broken.c_str(), broken.size(), &why));
  EXPECT_FALSE(why.empty());
  const std::string fine = "<vq version='2'><transaction/></vq>";
  ASSERT_TRUE(loadBoundedXml(document, fine.c_str(), fine.size(), &why));
  EXPECT_STREQ("vq", document.RootElement()->Value());
}

TEST(BoundedXmlTest, FileLoadReadsLikeTinyXmlAndAppliesBounds) {
  vq_testing::ScopedTempDir dir;
  const std::string crlf = dir.Append("crlf.xml");
  vq_testing::WriteFile(crlf, "<r>\r\n<t><![CDATA[a\r\nb\rc]]></t>\r\n</r>\r\n");
  TiXmlDocument ours;
  TiXmlDocument theirs;
  std::string why;
  ASSERT_TRUE(loadBoundedXmlFile(ours, crlf.c_str(), &why)) << why;
  ASSERT_TRUE(theirs.LoadFile(crlf.c_str()));
  std::string ourText;
  std::string theirText;
  ourText << ours;
  theirText << theirs;
  EXPECT_EQ(theirText, ourText);
  EXPECT_STREQ("a\nb\nc", ours.RootElement()->FirstChildElement()->GetText());

  const std::string deep = dir.Append("deep.xml");
  vq_testing::WriteFile(deep, Nested(kMaxXmlDepth + 1));
  EXPECT_FALSE(loadBoundedXmlFile(ours, deep.c_str(), &why));
  XmlBounds small;
  small.maxBytes = 8;
  EXPECT_FALSE(loadBoundedXmlFile(ours, crlf.c_str(), &why, small));
  EXPECT_NE(why.find("exceeds"), std::string::npos) << why;
  EXPECT_FALSE(loadBoundedXmlFile(ours, dir.Append("none").c_str(), &why));
  EXPECT_FALSE(loadBoundedXmlFile(ours, dir.path().c_str(), &why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
}

}  // namespace
