// Local files are read only when regular and within a bound, never
// blocking; XML texts are refused before TinyXML builds more nodes than the
// bound allows.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <string>
#include <utility>
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
  struct Case {
    std::string path;
    FileReadStatus status;
    std::string contents;
  };
  for (const Case& c : {Case{dir.Append("ten"), FileReadStatus::kRead,
                             "0123456789"},
                        Case{dir.Append("link"), FileReadStatus::kRead,
                             "0123456789"},
                        Case{dir.Append("eleven"), FileReadStatus::kTooLarge, ""},
                        Case{dir.Append("none"), FileReadStatus::kMissing, ""},
                        Case{dir.path(), FileReadStatus::kDirectory, ""},
                        Case{dir.Append("fifo"), FileReadStatus::kNotRegular, ""},
                        Case{"/dev/zero", FileReadStatus::kNotRegular, ""}}) {
    std::string contents = "old", why;
    EXPECT_EQ(c.status, vq_support::readRegularFile(c.path, 10, &contents, &why))
        << c.path;
    EXPECT_EQ(c.contents, contents) << c.path;
    EXPECT_EQ(c.status == FileReadStatus::kRead, why.empty()) << c.path << why;
  }
}

TEST(ReadRegularFileTest, RefusedLinksAreNotReadButFilesStillAre) {
  vq_testing::ScopedTempDir dir;
  WriteFile(dir.Append("ten"), "0123456789");
  ASSERT_EQ(0, symlink("ten", dir.Append("link").c_str()));
  for (const auto& [name, status] :
       {std::pair<std::string, FileReadStatus>{"ten", FileReadStatus::kRead},
        {"link", FileReadStatus::kFailed}}) {
    std::string contents, why;
    EXPECT_EQ(status, vq_support::readRegularFile(
                          dir.Append(name), 10, &contents, &why,
                          vq_support::SymbolicLinks::kRefuse))
        << name;
    EXPECT_EQ(status == FileReadStatus::kRead ? "0123456789" : "", contents)
        << name;
  }
}

// Every TinyXML object the document builds: nodes and attributes.
std::size_t TinyXmlObjects(const TiXmlNode& node) {
  std::size_t count = 0;
  if (const TiXmlElement* element = node.ToElement()) {
    for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
      ++count;
    }
  }
  for (const TiXmlNode* child = node.FirstChild(); child;
       child = child->NextSibling()) {
    count += 1 + TinyXmlObjects(*child);
  }
  return count;
}

// The scan's count never falls below what TinyXML builds: with a bound one
// below that, each text is refused; with the exact count it parses.
TEST(XmlNodeBoundTest, CountCoversWhatTinyXmlBuilds) {
  for (const std::string text :
       {"<r/>", "<r><a/><b></b><c>text</c></r>",
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
  }
  std::string many = "<r>";
  for (int i = 0; i < 5000; ++i) many += "<a/>";
  many += "</r>";
  XmlBounds bounds;
  bounds.maxNodes = 5001;
  EXPECT_TRUE(checkXmlBounds(many.c_str(), many.size(), bounds, nullptr));
  bounds.maxNodes = 5000;
  EXPECT_FALSE(checkXmlBounds(many.c_str(), many.size(), bounds, nullptr));
}

}  // namespace
