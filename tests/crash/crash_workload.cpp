#include "crash/crash_workload.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/file_util.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_crash.h"
#include "transact/transactional_file_delete.h"
#include "transact/transactional_file_move.h"

namespace crash_test {
namespace {

// Distinct, position-dependent content, so that a torn or mixed-up file
// never matches either version.
std::string content(const std::string& tag, std::size_t size) {
  std::string text;
  text.reserve(size);
  for (std::size_t block = 0; text.size() < size; ++block) {
    text += tag + ":" + std::to_string(block) + ";";
  }
  text.resize(size);
  return text;
}

bool readIfPresent(const std::string& file, std::string& text) {
  if (!vq_testing::PathExists(file)) return false;
  text = vq_testing::ReadFile(file);
  return true;
}

}  // namespace

void Workload::setUp() {
  targets_.clear();
  const std::size_t kSize = 48 * 1024;
  for (int i = 0; i < 6; ++i) {
    const std::string name = "replace" + std::to_string(i) + ".dat";
    targets_.push_back({Kind::kReplace, name, "tmp_r" + std::to_string(i),
                        content("old-" + name, kSize + i * 1000),
                        content("new-" + name, kSize + i * 777)});
  }
  for (int i = 0; i < 3; ++i) {
    const std::string name = "fresh/dir" + std::to_string(i) + "/new.dat";
    targets_.push_back({Kind::kCreate, name, "tmp_c" + std::to_string(i), "",
                        content("new-" + name, kSize)});
  }
  for (int i = 0; i < 3; ++i) {
    const std::string name = "delete" + std::to_string(i) + ".dat";
    targets_.push_back(
        {Kind::kDelete, name, "", content("old-" + name, kSize), ""});
  }
  for (const Target& target : targets_) {
    if (target.kind != Kind::kCreate) {
      vq_testing::WriteFile(target.file, target.oldContent);
    }
    if (target.kind != Kind::kDelete) {
      vq_testing::WriteFile(target.source, target.newContent);
    }
  }
  // Start every run from clean pages, so that the first flush inside the
  // transaction does not pay for this set-up and the kill moments spread
  // over the transaction's own work.
  int fd = open(".", O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    syncfs(fd);
    close(fd);
  }
}

void Workload::run(const WorkloadOptions& options, apr_pool_t* pool) const {
  TransactionEngine engine(nullptr, pool);
  engine.clear(true);
  for (std::size_t i = 0; i <= targets_.size(); ++i) {
    if (options.crashStage != 0 && i == options.crashPosition) {
      auto* crash = new TransactionalCrash(pool);
      crash->setStage(options.crashStage);
      engine << crash;
    }
    if (i == targets_.size()) break;
    const Target& target = targets_[i];
    if (target.kind == Kind::kDelete) {
      auto* erase = new TransactionalFileDelete(pool);
      erase->setDeleteFilename(target.file);
      engine << erase;
    } else {
      auto* move = new TransactionalFileMove(pool);
      move->setSourceFilename(target.source);
      move->setDestinationFilename(target.file);
      engine << move;
    }
  }
  if (options.failAtEnd) {
    auto* move = new TransactionalFileMove(pool);
    move->setSourceFilename("tmp_missing");
    move->setDestinationFilename("never.dat");
    engine << move;
  }
  engine.executeTransaction();
}

Outcome Workload::check(std::string& problem) const {
  bool anyOld = false;
  bool anyNew = false;
  for (const Target& target : targets_) {
    std::string text;
    const bool present = readIfPresent(target.file, text);
    const bool isOld = target.kind == Kind::kCreate
                           ? !present
                           : present && text == target.oldContent;
    const bool isNew = target.kind == Kind::kDelete
                           ? !present
                           : present && text == target.newContent;
    if (!isOld && !isNew) {
      problem = target.file + " is neither old nor new (" +
                (present ? std::to_string(text.size()) + " bytes" : "absent") +
                ")";
      return Outcome::kMixed;
    }
    anyOld = anyOld || isOld;
    anyNew = anyNew || isNew;
  }
  if (vq_testing::PathExists("never.dat")) {
    problem = "never.dat exists";
    return Outcome::kMixed;
  }
  if (anyOld && anyNew) {
    problem = "some files are old and others new";
    return Outcome::kMixed;
  }
  return anyNew ? Outcome::kAllNew : Outcome::kAllOld;
}

std::vector<std::string> Workload::leftovers(bool sourcesGone) const {
  std::vector<std::string> found;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(".")) {
    const std::string name = entry.path().lexically_relative(".").string();
    // Backups (".bak.tr") and staged contents (".new.tr").
    const bool backup =
        name.size() > 3 && name.compare(name.size() - 3, 3, ".tr") == 0;
    const bool journal = name.rfind(".transaction.dat", 0) == 0;
    const bool source = name.rfind("tmp_", 0) == 0;
    if (backup || journal || (sourcesGone && source)) found.push_back(name);
  }
  return found;
}

}  // namespace crash_test
