#include "transact/transact_test_support.h"

#include <apr_general.h>
#include <log4cpp/Category.hh>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace transact_test {

ScriptedOperation::ScriptedOperation(std::string name,
                                     std::vector<std::string>* trace,
                                     std::vector<std::string> fails)
    : Transactional(log4cpp::Category::getInstance("test.Scripted")),
      name_(std::move(name)),
      trace_(trace),
      fails_(std::move(fails)) {}

bool ScriptedOperation::step(const std::string& phase) {
  trace_->push_back(name_ + "." + phase);
  const bool fail =
      std::find(fails_.begin(), fails_.end(), phase) != fails_.end();
  if (fail && phase != "prepare" && phase != "execute") {
    throw name_ + "." + phase;
  }
  return !fail;
}

void TransactFixture::SetUp() {
  ASSERT_EQ(apr_initialize(), APR_SUCCESS);
  ASSERT_EQ(apr_pool_create(&pool_, nullptr), APR_SUCCESS);
  char buffer[4096];
  ASSERT_NE(getcwd(buffer, sizeof(buffer)), nullptr);
  previousDirectory_ = buffer;
  dir_ = std::make_unique<vq_testing::ScopedTempDir>();
  ASSERT_EQ(chdir(dir_->path().c_str()), 0);
}

void TransactFixture::TearDown() {
  if (!previousDirectory_.empty()) {
    EXPECT_EQ(chdir(previousDirectory_.c_str()), 0);
  }
  dir_.reset();
  if (pool_ != nullptr) apr_pool_destroy(pool_);
  apr_terminate();
}

JournalBytes& JournalBytes::u32(std::uint32_t value) {
  char bytes[4];
  std::memcpy(bytes, &value, 4);
  bytes_.append(bytes, 4);
  return *this;
}

JournalBytes& JournalBytes::str(const std::string& text) {
  u32(static_cast<std::uint32_t>(text.size()));
  bytes_ += text;
  return *this;
}

std::string readBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeBytes(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + file);
}

std::uint32_t u32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

}  // namespace transact_test
