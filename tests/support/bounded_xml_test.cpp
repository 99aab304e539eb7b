#include "support/bounded_xml.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

namespace {

std::string Nested(int depth) { return depth == 0 ? "x" : "<a>" + Nested(depth - 1) + "</a>"; }

// The nesting TinyXML itself builds.
int TinyXmlDepth(const TiXmlNode* node) {
  int deepest = 0;
  for (auto* e = node->FirstChildElement(); e; e = e->NextSiblingElement())
    deepest = std::max(deepest, 1 + TinyXmlDepth(e));
  return deepest;
}

// An end tag closes its element and builds nothing, but outside any element TinyXML keeps it as a
// node of its own.
TEST(BoundedXmlTest, EndTagsOutsideAnElementCountAsNodes) {
  const XmlBounds bounds{2, 200, 4};
  const std::string stray = "</x></x></x></x></x>";
  TiXmlDocument document;
  document.Parse(stray.c_str());
  int built = 0;
  for (const TiXmlNode* n = document.FirstChild(); n; n = n->NextSibling()) ++built;
  EXPECT_EQ(5, built);
  std::string why;
  EXPECT_FALSE(checkXmlBounds(stray.data(), stray.size(), bounds, &why));
  EXPECT_EQ(0u, why.find("XML text holds more than 4 nodes")) << why;
  const std::string closed = "<r><a></a><a></a></r>";
  EXPECT_TRUE(checkXmlBounds(closed.data(), closed.size(), bounds, &why)) << why;
}

// TinyXML steps over a whole UTF-8 character from its lead byte, also over the NUL that ends the
// text: what follows (the rest of an answer, or memory past the buffer) must never be parsed.
TEST(BoundedXmlTest, ATextEndsAtItsFirstNulEvenAfterALeadByte) {
  const XmlBounds bounds{3, 400, 40};
  const std::string head = "<?xml version=\"1.0\"?><r>x\xd5";
  std::string hidden = head;
  hidden += '\0';
  hidden += Nested(20) + "</r>";
  TiXmlDocument document;
  std::string why;
  loadBoundedXml(document, hidden.c_str(), hidden.size(), &why, bounds);
  EXPECT_EQ(1, TinyXmlDepth(&document)) << why;

  // The text and its NUL end a page whose next page is unreadable: a read past the NUL faults.
  const long page = sysconf(_SC_PAGESIZE);
  void* pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(MAP_FAILED, pages);
  ASSERT_EQ(0, mprotect(static_cast<char*>(pages) + page, page, PROT_NONE));
  char* const text = static_cast<char*>(pages) + page - (head.size() + 1);
  std::copy(head.c_str(), head.c_str() + head.size() + 1, text);
  TiXmlDocument unclosed;
  EXPECT_FALSE(loadBoundedXml(unclosed, text, head.size(), &why, bounds));
  EXPECT_EQ(1, TinyXmlDepth(&unclosed));
  munmap(pages, 2 * page);
}

constexpr char kSwallowed[] = "XML text holds a UTF-8 lead byte followed by \"<\" or a quote";

TEST(BoundedXmlTest, RefusesTextDeeperOrLargerThanTheBounds) {
  const std::string deep = Nested(10);
  // Element-like text in comments, CDATA, quoted values, DOCTYPE, declarations and after a stray
  // "<" is never built. TinyXML reads a declaration's quoted value past ">" while other "<?"
  // constructs end there: elements must not hide behind either reading.
  const std::pair<std::string, std::string> cases[] = {  // text, refusal
      {Nested(2), ""},
      {Nested(3), "XML elements nest deeper than 2 levels"},
      {"<r><a/><a></a>" + Nested(1) + Nested(1) + "</r>", ""},
      {"<r><!--" + deep + "--></r>", ""},
      {"<r><![CDATA[" + deep + "]]></r>", ""},
      {"<r a='<a><a>' b=\"/>\"><x/></r>", ""},
      {"<!DOCTYPE r><?xml version=\"1.0\"?><r>&lt;a&gt;</r>", ""},
      {"<r>1 < 2 <3 </r>", ""},
      {"<?xml version=\"1.0\" encoding='UTF-8'?>"
       "<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?><r/>", ""},
      {"<r><?xml version=\"></a></a>\"?>" + Nested(1) + "</r>",
       "ambiguous quoting in an XML declaration or processing instruction"},
      {"<?xml foo=\"x version=\"y>\"?><r/>", "ambiguous quoting"},
      {"<?pi \"?><r/>", "ambiguous quoting"},
      {"<r>" + std::string(200, ' ') + "</r>",
       "XML text of 207 bytes exceeds the limit of 200 bytes"},
      {std::string("<r/>\0<a><a><a>", 14), ""},  // TinyXML stops at NUL
      // Reading UTF-8, TinyXML takes a lead byte's whole character, so a "<" or quote inside it
      // ends no text and no value. Valid UTF-8 never does that; other encodings may.
      {"<?xml version=\"1.0\"?><r>\xef<!<a><a></a></a></r>", kSwallowed},
      {"<?xml version=\"1.0\"?><r><x a='\xc3'/><y b='><a><a/></a></y></r>", kSwallowed},
      {"\xef\xbb\xbf<r>\xe9<a/></r>", kSwallowed},
      {"<?xml version=\"1.0\" encoding=\"&#85;TF-8\"?><r>\xe9<a/></r>", kSwallowed},
      {"<?xml version=\"1.0\" xencoding=\"latin1\"?><r>\xe9<a/></r>", kSwallowed},
      {"<?xml version=\"1.0\"?><r>\xc3\xa9<a/></r>", ""},
      // TinyXML reads "&#" up to the next ";" as one reference when digits end it.
      {"<r>&#x<!--x;<a><a></a></a>--></r>", "XML text holds a character reference that takes in"},
      {"<r>&#<!--#;<a><a></a></a>--></r>", "XML text holds a character reference"},
      {"<r>&#x41;&#65;&#<a/></r>", ""},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9<a/></r>", ""},
      {"<r>\xe9<a/></r>", ""},
  };
  for (const auto& [text, refusal] : cases) {
    std::string why;
    EXPECT_EQ(refusal.empty(), checkXmlBounds(text.data(), text.size(), {2, 200}, &why)) << text;
    EXPECT_EQ(0u, why.find(refusal)) << text << ": " << why;
    if (!refusal.empty()) continue;
    TiXmlDocument document;
    document.Parse(text.c_str());
    EXPECT_LE(TinyXmlDepth(&document), 2) << text;
  }
}

}  // namespace
