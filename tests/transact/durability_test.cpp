// The engine over a failing disk: every file-system call of a representative
// transaction fails in turn with each error a disk gives, and the power goes
// at every flush; after recovery every destination must be wholly old or
// wholly new, new exactly when the transaction said it succeeded, and
// nothing may be left behind. While it runs, a program reading a destination
// must find it whole too: old or new, never missing or half copied.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "testing/file_util.h"
#include "testing/log_capture.h"
#include "transact/faulty_file_system.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_launch.h"

namespace transact_test {
namespace {

namespace fs = std::filesystem;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

// What the actions of one document leave for the engine, over two
// directories: a write over a file and one into a directory the action made,
// a download onto a new file in a new directory and one over a file, a
// delete of a file and of a missing one, an XML edit, and a launch.
const std::vector<Target> kTargets = {
    {"a/notes.txt", "old notes", "new notes", "a/notes.txt.tmp"},
    {"b/made/fresh.txt", "", "fresh text", "b/made/fresh.txt.tmp"},
    {"b/new/deep/web.dat", "", "downloaded bytes", "tmp_1_1_aaaaaa"},
    {"a/web.dat", "old download", "new download", "tmp_1_2_bbbbbb"},
    {"a/gone.txt", "doomed", "", ""},
    {"b/never.txt", "", "", ""},
    {"b/settings.xml", "<settings/>", "<settings><edited/></settings>",
     "b/settings.xml.tmp"},
};

// The whole set with a launch; and a small one (a replaced and a deleted
// file, no launch), whose few paths are flushed one by one instead of with
// one flush of the file system.
struct TransactionSet {
  const char* name;
  std::vector<std::size_t> targets;
  bool launch;
};
const TransactionSet kSets[] = {{"whole set", {0, 1, 2, 3, 4, 5, 6}, true},
                                {"small set", {0, 4}, false}};

class DurabilityTest : public TransactFixture {
 protected:
  void setUpFiles() {
    layOut(kTargets);
    vq_testing::MakeDirs("b/made");
    external_ = FakeExternal();
  }

  // Runs the transaction of `set` over `disk`: "ok", "failed" or the thrown
  // text.
  std::string run(const TransactionSet& set, FileSystem& disk) {
    TransactionEngine engine(&external_, pool(), &disk);
    engine.clear(true);
    for (const std::size_t index : set.targets) engine << operationFor(pool(), kTargets[index]);
    if (set.launch) {
      auto launch = new TransactionalLaunch(pool());
      launch->setCommand("prog");
      launch->addArgument("--updated");
      engine << launch;
    }
    try {
      return engine.executeTransaction() ? "ok" : "failed";
    } catch (const TransactionException& e) {
      return std::string("threw: ") + e.what();
    }
  }

  // Runs `set` over `disk`, checking before every call that each target is
  // whole, as a program reading it meanwhile needs; fails once per run, with
  // `context`, and adds the moments a target was torn or missing to
  // tornMoments_.
  std::string runWatched(const TransactionSet& set, FaultyFileSystem& disk,
                         const std::string& context) {
    int tornInRun = 0;
    disk.watch([&] {
      for (const std::size_t index : set.targets) {
        const auto [isOld, isNew] = versionOf(kTargets[index]);
        if (isOld || isNew) continue;
        if (tornInRun++ == 0) {
          ADD_FAILURE() << context << ": a reader found " << kTargets[index].file
                        << " missing or torn";
        }
        ++tornMoments_;
      }
    });
    const std::string result = run(set, disk);
    disk.watch(nullptr);
    return result;
  }

  // Recovers with a fresh engine over the real disk and checks the
  // invariants; returns the number of violations (each also a failure).
  // `durabilityFailed`: a call the transaction needed to be durable failed
  // before COMMIT was durable, so it must not have reported success.
  int recoverAndCheck(const TransactionSet& set, const std::string& result,
                      const std::string& context, bool durabilityFailed = false) {
    const int before = failureCount();
    const bool journalFound = PathExists(".transaction.dat");
    TransactionEngine::init(&external_, pool());
    std::vector<Target> targets;
    for (const std::size_t index : set.targets) targets.push_back(kTargets[index]);
    // The prepared files go once the transaction got anywhere.
    const auto [olds, news] =
        checkRecovered(targets, journalFound || result != "crashed", context);
    const std::size_t all = targets.size();
    const bool isNew = news == all && olds < all;
    EXPECT_TRUE(olds == all || news == all) << context << ": mixed";
    EXPECT_EQ(isNew, result == "ok") << context << ": " << result;
    EXPECT_FALSE(durabilityFailed && result == "ok")
        << context << ": success reported without a durable journal";
    EXPECT_EQ(external_.launched.empty(), !(isNew && set.launch)) << context << ": launch";
    EXPECT_NE(result, "threw: ") << context << ": failure without a text";
    return failureCount() - before;
  }
  // Runs `set` without faults and checks the outcome; returns how many calls and how many
  // flushes the faults can then hit.
  std::pair<int, int> runWithoutFaults(const TransactionSet& set) {
    setUpFiles();
    FaultyFileSystem disk;
    EXPECT_EQ(runWatched(set, disk, "without faults"), "ok");
    EXPECT_EQ(recoverAndCheck(set, "ok", "without faults"), 0);
    return {disk.calls(), disk.flushes()};
  }
  int tornMoments_ = 0;

  static int failureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
  }
};

TEST_F(DurabilityTest, EveryFailingCallLeavesOneWholeVersion) {
  int points = 0, violations = 0;
  for (const TransactionSet& set : kSets) {
    const int calls = runWithoutFaults(set).first;
    ASSERT_GT(calls, 10);
    for (const int error : {EIO, ENOSPC, EDQUOT}) {
      for (int call = 1; call <= calls; ++call) {
        setUpFiles();
        FaultyFileSystem disk;
        disk.failCall(call, APR_FROM_OS_ERROR(error));
        const std::string context =
            std::string(set.name) + ", " + strerror(error) + " at call " + std::to_string(call);
        const std::string result = runWatched(set, disk, context);
        ++points;
        violations +=
            recoverAndCheck(set, result, context, disk.failedDurabilityBeforeCommit());
      }
    }
  }
  std::printf("[ figures  ] fault points covered: %d (every call x EIO, ENOSPC, EDQUOT), "
              "invariant violations: %d, moments a reader found a target torn: %d\n",
              points, violations, tornMoments_);
}

TEST_F(DurabilityTest, PowerLossAtEveryFlushLeavesOneWholeVersion) {
  int points = 0, violations = 0;
  for (const TransactionSet& set : kSets) {
    const int flushes = runWithoutFaults(set).second;
    ASSERT_GT(flushes, 3);
    // The power goes before flush k took effect; k = flushes + 1 is after
    // the last one, when only the unflushed end of the transaction is lost.
    for (int flush = 1; flush <= flushes + 1; ++flush) {
      setUpFiles();
      FaultyFileSystem disk;
      disk.loseAtFlush(flush);
      const std::string result = run(set, disk);
      disk.powerLoss();
      ++points;
      violations += recoverAndCheck(set, result == "ok" ? "ok" : "crashed",
                                    std::string(set.name) + ", power loss at flush " +
                                        std::to_string(flush) + " (" + result + ")");
    }
  }
  std::printf("[ figures  ] power-loss points covered: %d, invariant violations: %d\n",
              points, violations);
}

// Journals recovery cannot finish: one it cannot read (a directory in its
// place, an I/O error) and one whose rollback fails (a directory where the
// backup must go back). Each stays, with its backups; the next transaction
// tries again first, and is refused while the journal cannot be finished.
TEST_F(DurabilityTest, RecoveryKeepsWhatItCannotFinishAndBlocksNewWork) {
  const std::string executeJournal = u32(VQTRANSACTION_EXECUTE) + u32(1) + u32(1) +
                                     str("old.txt.tmp") + str("old.txt") + "384";
  const struct {
    const char* name;
    int failingReadCall;  // of the recovery's calls; 0: none
    bool journalIsDirectory, destinationIsDirectory;
  } cases[] = {{"journal is a directory", 0, true, false},
               {"reading the journal fails once", 3, false, false},
               {"rollback fails", 0, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setUpFiles();
    WriteFile("old.txt.bak.tr", "old");
    WriteFile("old.txt.tmp", "new");
    c.journalIsDirectory ? vq_testing::MakeDirs(".transaction.dat/inner")
                         : WriteFile(".transaction.dat", executeJournal);
    c.destinationIsDirectory ? vq_testing::MakeDirs("old.txt/inner") : WriteFile("old.txt", "new");
    {
      vq_testing::LogCapture errors("transact.TransactionEngine");
      FaultyFileSystem disk;
      disk.failCall(c.failingReadCall, APR_FROM_OS_ERROR(EIO));
      EXPECT_FALSE(TransactionEngine::init(&external_, pool(), &disk));
      bool logged = false;
      for (const std::string& line : errors.Take()) {
        logged |= line.rfind("ERROR Recovery failed", 0) == 0;
      }
      EXPECT_TRUE(logged);
    }
    EXPECT_TRUE(PathExists(".transaction.dat"));
    EXPECT_EQ(ReadFile("old.txt.bak.tr"), "old");
    if (c.failingReadCall != 0) {
      // A passing fault: the next transaction finishes the old one, then runs.
      EXPECT_EQ(run(kSets[1], FileSystem::real()), "ok");
      EXPECT_EQ(ReadFile("old.txt"), "old");
      EXPECT_FALSE(PathExists(".transaction.dat"));
      continue;
    }
    // While it cannot be finished, no transaction runs; its prepared file
    // goes.
    EXPECT_EQ(
        run(kSets[1], FileSystem::real()).rfind("threw: An unfinished transaction is on disk", 0),
        0u);
    EXPECT_EQ(ReadFile("a/notes.txt"), "old notes");
    EXPECT_EQ(ReadFile("a/gone.txt"), "doomed");
    EXPECT_FALSE(PathExists("a/notes.txt.tmp"));
    EXPECT_TRUE(PathExists(".transaction.dat"));
    // Once the obstacle is gone, the next start finishes it.
    if (c.journalIsDirectory) {
      fs::remove_all(".transaction.dat");
      WriteFile(".transaction.dat", executeJournal);
    }
    if (c.destinationIsDirectory) fs::remove_all("old.txt");
    EXPECT_TRUE(TransactionEngine::init(&external_, pool()));
    EXPECT_EQ(ReadFile("old.txt"), "old");
    for (const char* gone : {".transaction.dat", "old.txt.bak.tr", "old.txt.tmp"}) {
      EXPECT_FALSE(PathExists(gone)) << gone;
    }
  }
}

}  // namespace
}  // namespace transact_test
