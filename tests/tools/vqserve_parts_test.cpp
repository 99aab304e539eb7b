// The server's building blocks, where the executable would hide the cases:
// escaping, address checks, path confinement.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "vqserve/download_folder.h"
#include "vqserve/json_text.h"
#include "vqserve/loopback_address.h"

namespace vqtools {
namespace {

using vq_testing::WriteFile;

TEST(JsonTextTest, EscapesControlsQuotesAndInvalidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "\"\""},
      {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
      {std::string("\n\r\t\b\f\0\x1f\x7f", 8),
       "\"\\n\\r\\t\\b\\f\\u0000\\u001f\\u007f\""},
      // Well-formed UTF-8 of 2, 3 and 4 bytes passes unchanged.
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
       "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      // Stray continuation, truncated, overlong, surrogate, above U+10FFFF.
      {"\x80", "\"\\u0080\""},
      {"\xe2\x82", "\"\\u00e2\\u0082\""},
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
      // A bad lead byte does not swallow the valid text after it.
      {"\xff"
       "a\xc3\xa9",
       "\"\\u00ffa\xc3\xa9\""},
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(json, jsonString(text));
}

TEST(LoopbackAddressTest, AcceptsOnlyLoopback) {
  LoopbackAddress address;
  std::string error;
  for (const auto& [text, host] :
       std::vector<std::pair<std::string, std::string>>{
           {"127.0.0.1:0", "127.0.0.1"},
           {"localhost:80", "127.0.0.1"},
           {"[::1]:81", "[::1]"},
           {"127.8.9.10:65535", "127.8.9.10"}}) {
    ASSERT_TRUE(LoopbackAddress::parse(text, &address, &error))
        << text << error;
    EXPECT_EQ(host, address.host);
  }
  EXPECT_EQ(65535, address.port);
  EXPECT_EQ("127.8.9.10:8080", address.listeningSpec(8080));
  for (const char* text :
       {"0.0.0.0:80", "10.0.0.1:80", "128.0.0.1:80", "126.255.255.255:80",
        "127.1:80", "0x7f.0.0.1:80", "[::]:80", "[::2]:80",
        "[::ffff:127.0.0.1]:80", "example.org:80", "127.0.0.1", "127.0.0.1:",
        "127.0.0.1:65536", "127.0.0.1:-1", "127.0.0.1:8o", ":80", ""}) {
    EXPECT_FALSE(LoopbackAddress::parse(text, &address, &error)) << text;
  }
}

TEST(DownloadFolderTest, ResolvesOnlyRegularFilesInside) {
  vq_testing::ScopedTempDir dir;
  const std::string root = dir.Append("root");
  WriteFile(root + "/a.bin", "abc");
  WriteFile(root + "/sub/b.txt", "b");
  WriteFile(dir.Append("outside"), "secret");
  ASSERT_EQ(0,
            ::symlink(dir.Append("outside").c_str(), (root + "/out").c_str()));
  ASSERT_EQ(0, ::symlink((root + "/a.bin").c_str(), (root + "/in").c_str()));
  DownloadFolder folder;
  std::string error;
  EXPECT_EQ("", folder.resolve("a.bin"));  // Not open yet.
  EXPECT_FALSE(folder.open(root + "/a.bin", &error));
  EXPECT_FALSE(folder.open("/", &error));
  ASSERT_TRUE(folder.open(root, &error)) << error;
  for (const char* path : {"a.bin", "sub/b.txt", "in"})  // "in" stays inside.
    EXPECT_NE("", folder.resolve(path)) << path;
  for (const std::string& path : std::vector<std::string>{
           "", "sub", "missing", "out", "../outside", "sub/../a.bin", "./a.bin",
           "sub//b.txt", "/a.bin", "a.bin/", std::string("a.bin\0x", 7)}) {
    EXPECT_EQ("", folder.resolve(path)) << path;
  }
}

}  // namespace
}  // namespace vqtools
