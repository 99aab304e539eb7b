// Tests of the server's building blocks where the executable would hide
// the cases: escaping, form splitting, address checks, path confinement.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tool_test_support.h"
#include "vqserve/document_source.h"
#include "vqserve/document_template.h"
#include "vqserve/download_folder.h"
#include "vqserve/form_params.h"
#include "vqserve/json_text.h"
#include "vqserve/loopback_address.h"

namespace vqtools {
namespace {

TEST(JsonTextTest, EscapesControlsQuotesAndInvalidUtf8) {
  EXPECT_EQ("\"\"", jsonString(""));
  EXPECT_EQ("\"a\\\"b\\\\c/\"", jsonString("a\"b\\c/"));
  EXPECT_EQ("\"\\n\\r\\t\\b\\f\\u0000\\u001f\\u007f\"",
            jsonString(std::string("\n\r\t\b\f\0\x1f\x7f", 8)));
  // Well-formed UTF-8 of 2, 3 and 4 bytes passes unchanged.
  EXPECT_EQ("\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"",
            jsonString("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"));
  // Stray continuation, truncated sequence, overlong form, surrogate and a
  // code point above U+10FFFF each become \u00XX per byte.
  EXPECT_EQ("\"\\u0080\"", jsonString("\x80"));
  EXPECT_EQ("\"\\u00e2\\u0082\"", jsonString("\xe2\x82"));
  EXPECT_EQ("\"\\u00c0\\u00af\"", jsonString("\xc0\xaf"));
  EXPECT_EQ("\"\\u00ed\\u00a0\\u0080\"", jsonString("\xed\xa0\x80"));
  EXPECT_EQ("\"\\u00f4\\u0090\\u0080\\u0080\"", jsonString("\xf4\x90\x80\x80"));
  // A bad lead byte does not swallow the valid text after it.
  EXPECT_EQ("\"\\u00ffa\xc3\xa9\"", jsonString("\xff"
                                               "a\xc3\xa9"));
}

TEST(FormParamsTest, SplitsInOrderAndDecodesEachPart) {
  FormParams params;
  const std::string body =
      "a+b=x%2fy&c=1&&flag&empty=&eq=a=b&bin=%00%ff&bad=%zz%4&p=%2B+";
  appendFormParams(body.data(), body.size(), &params);
  const FormParams expected = {
      {"a b", "x/y"},   {"c", "1"},    {"flag", ""},
      {"empty", ""},    {"eq", "a=b"}, {"bin", std::string("\0\xff", 2)},
      {"bad", "%zz%4"}, {"p", "+ "}};
  EXPECT_EQ(expected, params);

  // Appends: query parameters first, then the body's.
  appendFormParams("z=9", 3, &params);
  EXPECT_EQ((std::pair<std::string, std::string>("z", "9")), params.back());
  FormParams none;
  appendFormParams("", 0, &none);
  EXPECT_TRUE(none.empty());
}

TEST(LoopbackAddressTest, AcceptsOnlyLoopback) {
  LoopbackAddress address;
  std::string error;
  ASSERT_TRUE(LoopbackAddress::parse("127.0.0.1:0", &address, &error)) << error;
  EXPECT_EQ("127.0.0.1", address.host);
  EXPECT_EQ(0, address.port);
  ASSERT_TRUE(LoopbackAddress::parse("127.8.9.10:65535", &address, &error));
  EXPECT_EQ("127.8.9.10:8080", address.listeningSpec(8080));
  ASSERT_TRUE(LoopbackAddress::parse("localhost:80", &address, &error));
  EXPECT_EQ("127.0.0.1", address.host);
  ASSERT_TRUE(LoopbackAddress::parse("[::1]:81", &address, &error));
  EXPECT_EQ("[::1]", address.host);

  for (const char* text :
       {"0.0.0.0:80", "10.0.0.1:80", "128.0.0.1:80", "126.255.255.255:80",
        "127.1:80", "0x7f.0.0.1:80", "[::]:80", "[::2]:80",
        "[::ffff:127.0.0.1]:80", "example.org:80", "127.0.0.1", "127.0.0.1:",
        "127.0.0.1:65536", "127.0.0.1:-1", "127.0.0.1:8o", ":80", ""}) {
    EXPECT_FALSE(LoopbackAddress::parse(text, &address, &error)) << text;
  }
}

class DownloadFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.file("root");
    ASSERT_EQ(0, ::mkdir(root_.c_str(), 0700));
    ASSERT_EQ(0, ::mkdir((root_ + "/sub").c_str(), 0700));
    vqtest::writeFile(root_ + "/a.bin", "abc");
    vqtest::writeFile(root_ + "/sub/b.txt", "b");
    vqtest::writeFile(dir_.file("outside"), "secret");
    ASSERT_EQ(
        0, ::symlink(dir_.file("outside").c_str(), (root_ + "/out").c_str()));
    ASSERT_EQ(0,
              ::symlink((root_ + "/a.bin").c_str(), (root_ + "/in").c_str()));
    std::string error;
    ASSERT_TRUE(folder_.open(root_, &error)) << error;
  }

  vqtest::TempDir dir_;
  std::string root_;
  DownloadFolder folder_;
};

TEST_F(DownloadFolderTest, ResolvesOnlyRegularFilesInsideTheFolder) {
  EXPECT_NE("", folder_.resolve("a.bin"));
  EXPECT_NE("", folder_.resolve("sub/b.txt"));
  EXPECT_NE("", folder_.resolve("in"));  // A link that stays inside.
  for (const std::string& path : std::vector<std::string>{
           "", "sub", "missing", "out", "../outside", "sub/../a.bin", "./a.bin",
           "sub//b.txt", "/a.bin", "a.bin/", std::string("a.bin\0x", 7)}) {
    EXPECT_EQ("", folder_.resolve(path)) << path;
  }
  DownloadFolder closed;
  EXPECT_EQ("", closed.resolve("a.bin"));
  std::string error;
  EXPECT_FALSE(closed.open(root_ + "/a.bin", &error));
  EXPECT_FALSE(closed.open("/", &error));
}

TEST_F(DownloadFolderTest, TemplateFillsServerPlaceholdersOnly) {
  const DocumentTemplate expander("http://127.0.0.1:9",
                                  "http://127.0.0.1:9/files", &folder_);
  std::vector<std::string> warnings;
  EXPECT_EQ(
      "http://127.0.0.1:9/files/a.bin 900150983cd24fb0d6963f7d28e17f72 "
      "http://127.0.0.1:9 "
      "${dir.data} ${download.md5:out} ${ ${unterminated",
      expander.expand(
          "${download.base}/a.bin ${download.md5:a.bin} ${server.base} "
          "${dir.data} ${download.md5:out} ${ ${unterminated",
          &warnings));
  ASSERT_EQ(1u, warnings.size());
  EXPECT_NE(std::string::npos, warnings[0].find("${download.md5:out}"));

  const DocumentTemplate without_downloads("s", "d", nullptr);
  warnings.clear();
  EXPECT_EQ("${download.md5:a.bin}",
            without_downloads.expand("${download.md5:a.bin}", &warnings));
  EXPECT_EQ(1u, warnings.size());
}

TEST(DocumentSourceTest, FileFolderAndTextSources) {
  vqtest::TempDir dir;
  std::string error;
  std::string text;
  EXPECT_FALSE(DocumentSource::fromPath(dir.file("none"), false, &error));
  EXPECT_FALSE(
      DocumentSource::fromPath(dir.path(), false, &error));  // No documents.

  vqtest::writeFile(dir.file("2"), "two");
  vqtest::writeFile(dir.file("10"), "ten");  // Bytewise order: "10" < "2".
  std::unique_ptr<DocumentSource> once =
      DocumentSource::fromPath(dir.path(), false, &error);
  ASSERT_TRUE(once) << error;
  std::vector<std::string> served;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(once->next(&text, &error));
    served.push_back(text);
  }
  EXPECT_EQ((std::vector<std::string>{"ten", "two", "two", "two"}), served);

  // A file removed after start answers an error once, then the turn moves on.
  std::unique_ptr<DocumentSource> loop =
      DocumentSource::fromPath(dir.path(), true, &error);
  ASSERT_TRUE(loop);
  ASSERT_EQ(0, ::unlink(dir.file("10").c_str()));
  EXPECT_FALSE(loop->next(&text, &error));
  EXPECT_NE(std::string::npos, error.find("10"));
  ASSERT_TRUE(loop->next(&text, &error));
  EXPECT_EQ("two", text);
  // Files are read when served, so rewriting one changes the next answer.
  vqtest::writeFile(dir.file("2"), "TWO");
  EXPECT_FALSE(loop->next(&text, &error));
  ASSERT_TRUE(loop->next(&text, &error));
  EXPECT_EQ("TWO", text);

  std::unique_ptr<DocumentSource> fixed =
      DocumentSource::fromPath(dir.file("2"), false, &error);
  ASSERT_TRUE(fixed);
  ASSERT_TRUE(fixed->next(&text, &error));
  EXPECT_EQ("TWO", text);
  std::unique_ptr<DocumentSource> inline_text =
      DocumentSource::fromText("<vq/>");
  ASSERT_TRUE(inline_text->next(&text, &error));
  EXPECT_EQ("<vq/>", text);
}

}  // namespace
}  // namespace vqtools
