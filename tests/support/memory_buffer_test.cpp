#include "support/memory_buffer.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

class MemoryBufferTest : public ::testing::Test {
 protected:
  std::string File(const std::string& contents) {
    vq_testing::WriteFile(dir_.Append("f"), contents);
    return dir_.Append("f");
  }
  apr::Pool pool_;
  vq_testing::ScopedTempDir dir_;
};

TEST_F(MemoryBufferTest, GrowsGeometricallyKeepingContents) {
  MemoryBuffer<char> buffer(pool_);
  EXPECT_EQ(8192, buffer.capacity());
  for (int i = 0; i < 8192; ++i)
    buffer.append(static_cast<char>(i % 251));
  EXPECT_EQ(8192, buffer.capacity());
  buffer.append('x');
  EXPECT_EQ(16384, buffer.capacity());
  const std::string block(20000, 'b');
  EXPECT_EQ(20000u, buffer.append(block.data(), block.size()));
  EXPECT_EQ(2 * (8193 + 20000), buffer.capacity());
  ASSERT_EQ(28193u, buffer.size());
  for (int i = 0; i < 8192; ++i) {
    ASSERT_EQ(static_cast<char>(i % 251), buffer.begin()[i]) << i;
  }
  EXPECT_EQ('x', buffer.begin()[8192]);
  // Sizes an int capacity cannot describe throw, keeping the contents.
  EXPECT_THROW(buffer.alloc(1LL << 40), std::bad_alloc);
  EXPECT_THROW(buffer.allocAvailable(0x7fffffffLL), std::bad_alloc);
  EXPECT_EQ(28193u, buffer.size());
}

TEST_F(MemoryBufferTest, PopClearAndNullTerminate) {
  MemoryBuffer<unsigned char> bytes(pool_);
  EXPECT_FALSE(bytes.popOne());
  EXPECT_EQ(0u, bytes.size());
  MemoryBuffer<char> full(pool_, 4);
  full.append("abcd", 4);
  full.nullTerminate();  // grows to make room for the terminator
  EXPECT_STREQ("abcd", full.begin());
  EXPECT_TRUE(full.popOne());
  EXPECT_EQ("abc", full.str());
  const int capacity = full.capacity();
  full.clear();
  EXPECT_EQ(0u, full.size());
  EXPECT_EQ(capacity, full.capacity());
}

TEST_F(MemoryBufferTest, ReadFileAppendsWholeFile) {
  const std::string ten(
      "01234\r\n\0"
      "89",
      10);
  const std::string file = File(ten);
  MemoryBuffer<char> buffer(pool_);
  buffer.readFile(file.c_str());
  EXPECT_EQ(ten, buffer.str());
  EXPECT_EQ(0, *buffer.end());
  buffer.readFile(file.c_str());
  EXPECT_EQ(ten + ten, buffer.str());
  // Missing and unreadable files add nothing and throw nothing.
  buffer.readFile(dir_.Append("missing").c_str());
  buffer.readFile(dir_.path().c_str());
  EXPECT_EQ(20u, buffer.size());
  const std::string big(100000, 'q');
  MemoryBuffer<char> whole(pool_);
  whole.readFile(File(big).c_str());
  EXPECT_EQ(big, whole.str());
}

TEST_F(MemoryBufferTest, ReadFileTailTakesLastBytes) {
  const std::string file = File("0123456789");
  MemoryBuffer<char> buffer(pool_);
  buffer.readFile(file.c_str(), 5);
  EXPECT_EQ("56789", buffer.str());
  EXPECT_EQ(0, *buffer.end());
  buffer.readFile(file.c_str(), 20);
  EXPECT_EQ("567890123456789", buffer.str());
  buffer.readFile(dir_.Append("missing").c_str(), 5);
  EXPECT_EQ(15u, buffer.size());
  buffer.readFile(file.c_str(),
                  1LL << 40);  // a generous limit allocates little
  EXPECT_EQ(25u, buffer.size());
  // The error report's log tail: more than one read block from a large file.
  std::string log;
  for (int i = 0; i < 50000; ++i)
    log += static_cast<char>('A' + i % 23);
  MemoryBuffer<char> tail(pool_);
  tail.readFile(File(log).c_str(), 20000);
  EXPECT_EQ(log.substr(log.size() - 20000), tail.str());
}

}  // namespace
