// Local files are read only when regular and within a bound, never
// blocking; XML texts are refused before TinyXML builds more nodes than the
// bound allows.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/bounded_file.h"
#include "support/bounded_xml.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_support::FileReadStatus;
using vq_testing::WriteFile;

TEST(ReadRegularFileTest, OnlyRegularFilesWithinTheBoundAreRead) {
  vq_testing::ScopedTempDir dir;
  WriteFile(dir.Append("ten"), "0123456789");
  WriteFile(dir.Append("eleven"), "0123456789A");
  ASSERT_EQ(0, mkfifo(dir.Append("fifo").c_str(), 0600));
  ASSERT_EQ(0, symlink("ten", dir.Append("link").c_str()));
  const auto follow = vq_support::SymbolicLinks::kFollow;
  const auto refuse = vq_support::SymbolicLinks::kRefuse;
  struct Case {
    std::string path;
    vq_support::SymbolicLinks links;
    FileReadStatus status;
    std::string contents;
  };
  for (const Case& c : {Case{dir.Append("ten"), follow, FileReadStatus::kRead, "0123456789"},
                        Case{dir.Append("link"), follow, FileReadStatus::kRead, "0123456789"},
                        Case{dir.Append("eleven"), follow, FileReadStatus::kTooLarge, ""},
                        Case{dir.Append("none"), follow, FileReadStatus::kMissing, ""},
                        Case{dir.path(), follow, FileReadStatus::kDirectory, ""},
                        Case{dir.Append("fifo"), follow, FileReadStatus::kNotRegular, ""},
                        Case{"/dev/zero", follow, FileReadStatus::kNotRegular, ""},
                        Case{dir.Append("ten"), refuse, FileReadStatus::kRead, "0123456789"},
                        Case{dir.Append("link"), refuse, FileReadStatus::kFailed, ""}}) {
    std::string contents = "old", why;
    EXPECT_EQ(c.status, vq_support::readRegularFile(c.path, 10, &contents, &why, c.links))
        << c.path;
    EXPECT_EQ(c.contents, contents) << c.path;
    EXPECT_EQ(c.status == FileReadStatus::kRead, why.empty()) << c.path << why;
  }
}

// Every TinyXML object the document builds: nodes and attributes.
std::size_t TinyXmlObjects(const TiXmlNode& node) {
  std::size_t count = 0;
  if (const TiXmlElement* element = node.ToElement()) {
    for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) ++count;
  }
  for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling()) {
    count += 1 + TinyXmlObjects(*child);
  }
  return count;
}

// The scan's count never falls below what TinyXML builds: with a bound one
// below that, each text is refused; with the exact count it parses.
TEST(XmlNodeBoundTest, CountCoversWhatTinyXmlBuilds) {
  std::string many = "<r>";
  for (int i = 0; i < 5000; ++i) many += "<a/>";
  for (const std::string& text : std::vector<std::string>{
           many + "</r>", "<r/>", "<r><a/><b></b><c>text</c></r>",
        "<?xml version=\"1.0\"?><!-- c --><r a=\"1\" b='2'><x y=\"=\"/></r>",
        "<r>one<a/>two<![CDATA[three]]><!--four--></r>",
        "<!DOCTYPE r><r>\n  <a>  </a>\n</r>"}) {
    TiXmlDocument document;
    document.Parse(text.c_str());
    ASSERT_FALSE(document.Error()) << text;
    const std::size_t built = TinyXmlObjects(document);
    XmlBounds bounds;
    bounds.maxNodes = built - 1;
    std::string why;
    EXPECT_FALSE(checkXmlBounds(text.c_str(), text.size(), bounds, &why))
        << text << " builds " << built;
    EXPECT_NE(std::string::npos, why.find("nodes")) << why;
    bounds.maxNodes = built;
    EXPECT_TRUE(checkXmlBounds(text.c_str(), text.size(), bounds, &why)) << text << ": " << why;
  }
}

}  // namespace
