#ifndef VQ_TESTS_TRANSACT_TRANSACT_TEST_SUPPORT_H_
#define VQ_TESTS_TRANSACT_TRANSACT_TEST_SUPPORT_H_

#include <apr_pools.h>
#include <gtest/gtest.h>
#include <log4cpp/Category.hh>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "transact/transactional_external_interface.h"
#include "transact/transactional_file_delete.h"
#include "transact/transactional_file_move.h"

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
  void setVariable(const std::string& name, const std::string& value) override {
    variables[name] = value;
  }

  std::map<std::string, std::string> variables;
  std::vector<std::string> launched;  // command, then its arguments
  int quits = 0;
};

// Appends "<name>.<phase> " to a shared trace. A phase listed in `fails`
// returns false (prepare, execute) or throws the std::string "<name>.<phase>".
class ScriptedOperation : public Transactional {
 public:
  ScriptedOperation(std::string name, std::string* trace, std::string fails = "")
      : Transactional(log4cpp::Category::getInstance("test.Scripted")),
        name_(std::move(name)), trace_(trace), fails_(std::move(fails)) {}

  bool prepare() override { return step("prepare"); }
  bool execute() override { return step("execute"); }
  void rollback() override { step("rollback"); }
  void commit() override { step("commit"); }
  void cleanup() override { step("cleanup"); }
  int getSerial() override { return 0; }
  void debug() override {}
  std::string debugString() override { return name_; }
  std::ostream& store(std::ostream& out) const override { return out; }
  std::istream& restore(std::istream& in) override { return in; }

 private:
  bool step(const std::string& phase) {
    *trace_ += name_ + "." + phase + " ";
    if (fails_.find(phase) == std::string::npos) return true;
    if (phase != "prepare" && phase != "execute") throw name_ + "." + phase;
    return false;
  }

  std::string name_;
  std::string* trace_;
  std::string fails_;
};

// APR, a pool and a fresh temporary working directory (the journal is
// relative to it) for each test.
class TransactFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(apr_pool_create(&pool_, nullptr), APR_SUCCESS);
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    if (pool_ != nullptr) apr_pool_destroy(pool_);
  }
  apr_pool_t* pool() const { return pool_; }

  const std::filesystem::path previous_ = std::filesystem::current_path();
  vq_testing::ScopedTempDir dir_;
  apr_pool_t* pool_ = nullptr;
  FakeExternal external_;
};

inline TransactionalFileMove* newMove(apr_pool_t* pool, const std::string& from,
                                      const std::string& to, int permissions = 0x0600) {
  auto* operation = new TransactionalFileMove(pool);
  operation->setSourceFilename(from);
  operation->setDestinationFilename(to);
  operation->setPermissions(permissions);
  return operation;
}

inline TransactionalFileDelete* newDelete(apr_pool_t* pool, const std::string& file) {
  auto* operation = new TransactionalFileDelete(pool);
  operation->setDeleteFilename(file);
  return operation;
}

// One destination of a transaction: "" for a file absent before (old) or
// after (new); `source` is the prepared file a move takes it from ("" for a
// delete).
struct Target {
  std::string file, oldContent, newContent, source;
};

// Empties the working directory, then lays out the old files and the
// prepared ones.
inline void layOut(const std::vector<Target>& targets) {
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    std::filesystem::remove_all(entry.path());
  }
  for (const Target& t : targets) {
    if (!t.oldContent.empty()) vq_testing::WriteFile(t.file, t.oldContent);
    if (!t.source.empty()) vq_testing::WriteFile(t.source, t.newContent);
  }
}

inline Transactional* operationFor(apr_pool_t* pool, const Target& t) {
  return t.source.empty() ? static_cast<Transactional*>(newDelete(pool, t.file))
                          : newMove(pool, t.source, t.file);
}

// Whether the target's file now holds its old version and whether its new
// one (both when they are alike); neither when it is torn or missing.
inline std::pair<bool, bool> versionOf(const Target& t) {
  const bool present = vq_testing::PathExists(t.file);
  const std::string text = present ? vq_testing::ReadFile(t.file) : "";
  return {t.oldContent.empty() ? !present : text == t.oldContent,
          t.newContent.empty() ? !present : text == t.newContent};
}

// After recovery: how many targets are wholly old and how many wholly new;
// a torn one fails. Backups and staged contents (".tr"), the journal and its
// temporary must be gone, and the sources too when `sourcesGone`.
inline std::pair<std::size_t, std::size_t> checkRecovered(const std::vector<Target>& targets,
                                                          bool sourcesGone,
                                                          const std::string& context) {
  std::size_t olds = 0, news = 0;
  for (const Target& t : targets) {
    const auto [isOld, isNew] = versionOf(t);
    EXPECT_TRUE(isOld || isNew) << context << ": " << t.file << " is torn";
    olds += isOld;
    news += isNew;
  }
  if (olds < targets.size() && news == targets.size()) sourcesGone = true;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    const std::string name = entry.path().lexically_relative(".").string();
    bool source = false;
    for (const Target& t : targets) source |= !t.source.empty() && name == t.source;
    EXPECT_FALSE((name.size() > 3 && name.compare(name.size() - 3, 3, ".tr") == 0) ||
                 name.rfind(".transaction.dat", 0) == 0 || (sourcesGone && source))
        << context << ": left behind " << name;
  }
  return {olds, news};
}

// Journal fields built by hand, independent of the engine: a 32-bit number
// in host order, and a string as its length and bytes.
inline std::string u32(std::uint32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}
inline std::string str(const std::string& text) { return u32(std::uint32_t(text.size())) + text; }

}  // namespace transact_test

#endif  // VQ_TESTS_TRANSACT_TRANSACT_TEST_SUPPORT_H_
