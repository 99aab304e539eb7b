#ifndef VQ_TESTS_TRANSACT_TRANSACT_TEST_SUPPORT_H_
#define VQ_TESTS_TRANSACT_TRANSACT_TEST_SUPPORT_H_

#include <apr_pools.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/transactional_external_interface.h"
#include "testing/scoped_temp_dir.h"
#include "transact/transactional.h"

namespace transact_test {

// Records what the operations asked of the application.
class FakeExternal : public TransactionalExternalInterface {
 public:
  int launchProcess(std::string& exe, std::vector<std::string>& args) override {
    launched.push_back(exe);
    launched.insert(launched.end(), args.begin(), args.end());
    return 0;
  }
  void setQuit() override { ++quits; }
  void setUpgrade() override {}

  std::vector<std::string> launched;  // command, then its arguments
  int quits = 0;
};

// An operation that appends "<name>.<phase>" to a shared trace and fails
// where the test says: a phase listed in `fails` returns false (prepare,
// execute) or throws the std::string "<name>.<phase>" (the others).
class ScriptedOperation : public Transactional {
 public:
  ScriptedOperation(std::string name, std::vector<std::string>* trace,
                    std::vector<std::string> fails = {});

  bool prepare() override { return step("prepare"); }
  bool execute() override { return step("execute"); }
  void rollback() override { step("rollback"); }
  void commit() override { step("commit"); }
  void cleanup() override { step("cleanup"); }
  int getSerial() override { return 0; }
  void debug() override {}
  std::string debugString() override { return "   Scripted " + name_; }
  std::ostream& store(std::ostream& out) const override { return out; }
  std::istream& restore(std::istream& in) override { return in; }

 private:
  bool step(const std::string& phase);

  std::string name_;
  std::vector<std::string>* trace_;
  std::vector<std::string> fails_;
};

// Gives each test APR, a pool and a fresh temporary working directory (the
// journal is relative to it); restores the previous directory afterwards.
class TransactFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  apr_pool_t* pool() const { return pool_; }

 private:
  std::unique_ptr<vq_testing::ScopedTempDir> dir_;
  std::string previousDirectory_;
  apr_pool_t* pool_ = nullptr;
};

// Journal bytes built by hand, field by field, independent of the engine.
class JournalBytes {
 public:
  JournalBytes& u32(std::uint32_t value);
  JournalBytes& str(const std::string& text);
  JournalBytes& raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

std::string readBytes(const std::string& file);
void writeBytes(const std::string& file, const std::string& bytes);
std::uint32_t u32At(const std::string& bytes, std::size_t offset);

}  // namespace transact_test

#endif  // VQ_TESTS_TRANSACT_TRANSACT_TEST_SUPPORT_H_
