#include <apr_file_io.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/apr_exception.h"
#include "support/apr_file.h"
#include "support/apr_pool.h"
#include "support/apr_status.h"
#include "support/apr_utils.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

class AprFilesTest : public ::testing::Test {
 protected:
  apr::Pool pool_;
  vq_testing::ScopedTempDir dir_;
};

TEST_F(AprFilesTest, QueriesAnswerFalseOrZeroForMissingPaths) {
  const std::string file = dir_.Append("f.txt");
  const std::string missing = dir_.Append("missing");
  vq_testing::WriteFile(file, "12345");
  const char* const dir = dir_.path().c_str();
  EXPECT_TRUE(apr_file_exists(file.c_str(), pool_));
  EXPECT_TRUE(apr_file_exists(dir, pool_));
  EXPECT_FALSE(apr_file_exists(missing.c_str(), pool_));
  EXPECT_TRUE(apr_dir_exists(dir, pool_));
  EXPECT_FALSE(apr_dir_exists(file.c_str(), pool_));
  EXPECT_TRUE(apr_isdir(dir, pool_));
  EXPECT_FALSE(apr_isdir(file.c_str(), pool_));
  EXPECT_EQ(5, apr_file_size(file.c_str(), pool_));
  EXPECT_EQ(0, apr_file_size(missing.c_str(), pool_));
  try {
    apr_isdir(missing.c_str(), pool_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ("apr_stat failed in apr_isdir(" + missing + ",..)", e.what());
  }
}

TEST_F(AprFilesTest, ReadStringReadsWholeFilesByteForByte) {
  std::string big(20000, 'x');
  big += std::string("\0tail\r\n", 7);
  vq_testing::WriteFile(dir_.Append("big.bin"), big);
  EXPECT_EQ(big, apr_file_readString(dir_.Append("big.bin").c_str(), pool_));
  EXPECT_EQ("ERROR: Failed to open",
            apr_file_readString(dir_.Append("missing").c_str(), pool_));
}

TEST_F(AprFilesTest, FileReadsWritesAndReportsFailures) {
  const std::string name = dir_.Append("rw.bin");
  {
    apr::File out(name.c_str(), APR_FOPEN_WRITE | APR_FOPEN_CREATE,
                  APR_FPROT_UREAD | APR_FPROT_UWRITE, pool_);
    out.write("hello world", 11);
    out.close();
    out.close();  // a second close does nothing
  }
  apr::File in(name.c_str(), APR_FOPEN_READ, APR_OS_DEFAULT, pool_);
  char buffer[8];
  EXPECT_EQ(8u, in.read(buffer, sizeof(buffer)));
  EXPECT_EQ("hello wo", std::string(buffer, 8));
  EXPECT_EQ(3u, in.read(buffer, sizeof(buffer)));
  EXPECT_EQ(0u, in.read(buffer, sizeof(buffer)));

  const std::string missing = dir_.Append("missing");
  try {
    apr::File nothing(missing.c_str(), APR_FOPEN_READ, APR_OS_DEFAULT, pool_);
    FAIL() << "opened a missing file";
  } catch (const apr::Exception& e) {
    EXPECT_EQ(std::string(aprStatus(APR_FROM_OS_ERROR(ENOENT))) +
                  " : Opening filename " + missing,
              e.what());
  }
  // A directory opens, but reading it fails with more than end of file.
  apr::File directory(dir_.path().c_str(), APR_FOPEN_READ, APR_OS_DEFAULT,
                      pool_);
  try {
    directory.read(buffer, sizeof(buffer));
    FAIL() << "read a directory";
  } catch (const apr::Exception& e) {
    EXPECT_NE(std::string::npos,
              std::string(e.what()).find(" : Reading from " + dir_.path()));
  }
  const std::string huge(9000, 'q');
  EXPECT_EQ(
      8191u,
      std::string(apr::Exception(APR_EOF, "%s", huge.c_str()).what()).size());
}

}  // namespace
