// The engine: phase order, error collection, state machine, lock, journal
// layout and recovery at start.
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "testing/file_util.h"
#include "testing/wait_for.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"

namespace transact_test {
namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;
using TransactionJournalTest = TransactFixture;

class TransactionEngineTest : public TransactFixture {
 protected:
  // Runs operations a, b, c... with the failures given: "ok", "failed" or
  // the text of the exception thrown. The journal stays only when
  // `journalKept`, after a failed rollback or cleanup, for recovery.
  std::string run(const std::vector<std::string>& fails, bool journalKept = false) {
    TransactionEngine engine(&external_, pool());
    engine.clear(true);
    for (std::size_t i = 0; i < fails.size(); ++i) {
      engine << new ScriptedOperation(std::string(1, 'a' + i), &trace_, fails[i]);
    }
    std::string result;
    try {
      result = engine.executeTransaction() ? "ok" : "failed";
    } catch (const TransactionException& e) {
      result = e.what();
    }
    EXPECT_FALSE(engine.hasMutex());
    EXPECT_EQ(PathExists(".transaction.dat"), journalKept);
    std::remove(".transaction.dat");
    return result;
  }

  std::string trace_;
};

TEST_F(TransactionEngineTest, PhasesRunInOrderAndErrorsAreCollected) {
  const std::string all =
      "a.prepare b.prepare a.execute b.execute a.commit b.commit a.cleanup b.cleanup ";
  const struct {
    std::vector<std::string> fails;
    const char* result;
    std::string trace;
    bool journalKept = false;
  } cases[] = {
      {{"", ""}, "ok", all},
      // A refused prepare: nothing executed or rolled back, all cleaned up.
      {{"", "prepare", ""}, "failed", "a.prepare b.prepare a.cleanup b.cleanup c.cleanup "},
      // A failed execute: every operation is rolled back, even unexecuted.
      {{"", "execute", ""}, "failed",
       "a.prepare b.prepare c.prepare a.execute b.execute a.rollback "
       "b.rollback c.rollback a.cleanup b.cleanup c.cleanup "},
      // Errors are thrown together at the end; no phase stops at one. A
      // failed cleanup does not change the outcome; it keeps the journal
      // for recovery to finish.
      {{"commit", "commit cleanup"}, "a.commit\nb.commit", all, true},
      {{"cleanup"}, "ok", "a.prepare a.execute a.commit a.cleanup ", true},
      // A failed rollback keeps the journal (and so the backups) instead of
      // cleaning up.
      {{"execute rollback"}, "a.rollback", "a.prepare a.execute a.rollback ", true},
  };
  for (const auto& c : cases) {
    trace_.clear();
    EXPECT_EQ(run(c.fails, c.journalKept), c.result);
    EXPECT_EQ(trace_, c.trace) << c.result;
  }
}

TEST_F(TransactionEngineTest, InvalidTransitionsThrowTheirTextsAndKeepState) {
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  // Each refused state, tried once the engine has reached the first.
  const std::tuple<TransactionState, TransactionState, const char*> cases[] = {
      {VQTRANSACTION_GENESIS, VQTRANSACTION_EXECUTE, "TRANSACTON_PREPARE"},
      {VQTRANSACTION_GENESIS, VQTRANSACTION_COMMIT, "VQTRANSACTION_EXECUTE"},
      {VQTRANSACTION_GENESIS, VQTRANSACTION_ROLLBACK, "VQTRANSACTION_EXECUTE"},
      {VQTRANSACTION_GENESIS, VQTRANSACTION_COMPLETE, "VQTRANSACTION_CLEANUP"},
      {VQTRANSACTION_PREPARE, VQTRANSACTION_PREPARE, "VQTRANSACTION_GENESIS"},
      {VQTRANSACTION_EXECUTE, VQTRANSACTION_CLEANUP,
       "VQTRANSACTION_PREPARE, VQTRANSACTION_COMMIT or VQTRANSACTION_ROLLBACK"},
  };
  for (const auto& [at, to, allowedFrom] : cases) {
    if (engine.getState() != at) engine.setState(at);
    try {
      engine.setState(to);
      ADD_FAILURE() << "no exception for " << to;
    } catch (const TransactionException& e) {
      EXPECT_EQ(e.what(), std::string("Cannot transition to VQTRANSACTION_") +
                              transactionStateName(to) + " except from " + allowedFrom);
    }
    EXPECT_EQ(engine.getState(), at);
  }
}

TEST_F(TransactionEngineTest, SecondEngineSleepsUntilTheFirstCompletes) {
  TransactionEngine first(&external_, pool());
  first.clear(true);
  std::atomic<bool> started{false}, acquired{false};
  clockid_t waiterClock{};
  std::thread waiter([&] {
    pthread_getcpuclockid(pthread_self(), &waiterClock);
    started = true;
    TransactionEngine second(nullptr, nullptr);
    second.clear(true);
    acquired = true;
    EXPECT_TRUE(second.executeTransaction());
  });
  ASSERT_TRUE(vq_testing::WaitFor([&] { return started.load(); }));
  // While the first transaction is open the second must not get in, and
  // must not burn the processor while it waits.
  EXPECT_FALSE(
      vq_testing::WaitFor([&] { return acquired.load(); }, std::chrono::milliseconds(300)));
  timespec used{};
  ASSERT_EQ(clock_gettime(waiterClock, &used), 0);
  EXPECT_LT(used.tv_sec * 1000 + used.tv_nsec / 1000000, 100)
      << "the waiting thread spun instead of sleeping";
  EXPECT_TRUE(first.executeTransaction());
  EXPECT_TRUE(vq_testing::WaitFor([&] { return acquired.load(); }));
  waiter.join();
}

TEST_F(TransactionJournalTest, WrittenWholeAtPrepareThenStateUpdatedInPlace) {
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  engine << newDelete(pool(), "gone");
  engine.setState(VQTRANSACTION_PREPARE);
  const std::string records = u32(1) + u32(2) + str("gone");
  EXPECT_EQ(ReadFile(".transaction.dat"), u32(VQTRANSACTION_GENESIS) + records);
  EXPECT_FALSE(PathExists(".transaction.dat.tmp"));
  for (auto state : {VQTRANSACTION_EXECUTE, VQTRANSACTION_ROLLBACK, VQTRANSACTION_CLEANUP}) {
    engine.setState(state);
    EXPECT_EQ(ReadFile(".transaction.dat"), u32(state) + records);
  }
  engine.setState(VQTRANSACTION_COMPLETE);
  EXPECT_FALSE(PathExists(".transaction.dat"));
}

TEST_F(TransactionJournalTest, RecordsReadBackAndWriteOutByteForByte) {
  const std::string move = u32(1) + str("src") + str("dst") + "420";
  const std::string launch = u32(6) + str("x") + u32(2) + str("a") + str("b");
  const std::string last = u32(5) + u32(2) + str("del");
  // The crash operation (7) is never recreated; 4 and 9 are unused.
  std::istringstream in(u32(3) + u32(8) + move + u32(7) + launch + u32(4) + u32(9) + u32(8) +
                        str("n") + str(std::string("v\0w", 3)) + last);
  TransactionEngine engine(&external_, pool());
  engine.clear(true);  // reading takes the lock again: harmless
  in >> engine;
  EXPECT_TRUE(engine.hasMutex());
  // Written back, every field reads as it was; a string ends at a NUL.
  std::ostringstream out;
  out << engine;
  EXPECT_EQ(out.str(), u32(3) + u32(5) + move + launch + u32(8) + str("n") + str("v") + last);
}

TEST_F(TransactionJournalTest, TruncatedOrCorruptJournalsAreReadSafely) {
  // A string claiming 4 GiB, a record cut short, a count beyond the data,
  // a state cut short.
  const std::pair<std::string, std::size_t> cases[] = {
      {u32(3) + u32(1) + u32(1) + u32(0xFFFFFFF0u) + "ab", 0},
      {u32(3) + u32(2) + u32(2) + str("kept") + u32(1) + str("s"), 1},
      {u32(4) + u32(1000) + u32(5), 1},
      {std::string("\x03\x00", 2), 0},
  };
  for (const auto& c : cases) {
    TransactionEngine engine(&external_, pool());
    std::istringstream in(c.first);
    in >> engine;
    EXPECT_EQ(engine.size(), c.second);
  }
}

TEST_F(TransactionJournalTest, RecoveryFinishesWhatEachStateLeftUndone) {
  // Executing or rolling back: undo. Committing: commit again. Before
  // execute or in cleanup: only clean up. ZERO and unknown states say
  // nothing usable: the journal just goes.
  enum Result { kUndone, kCommitted, kCleaned, kUntouched };
  const std::pair<std::uint32_t, Result> cases[] = {{3, kUndone},    {4, kCommitted},
                                                    {1, kCleaned},    {6, kCleaned},
                                                    {0, kUntouched},  {99, kUntouched}};
  for (const auto& [state, result] : cases) {
    // A move over a file, a move onto a new file and a delete, all executed;
    // then a quit, a launch and a variable to set.
    for (const auto& [file, text] : std::map<std::string, std::string>{
             {"old.txt", "new"}, {"old.txt.bak.tr", "old"}, {"tmp_1", "new"},
             {"sub/fresh.txt", "fresh"}, {"tmp_2", "fresh"},
             {"victim.bak.tr", "victim"}, {".transaction.dat.tmp", "torn"}}) {
      WriteFile(file, text);
    }
    WriteFile(".transaction.dat",
              u32(state) + u32(6) + u32(1) + str("tmp_1") + str("old.txt") + "384" + u32(1) +
                  str("tmp_2") + str("sub/fresh.txt") + "384" + u32(2) + str("victim") + u32(5) +
                  u32(6) + str("prog") + u32(1) + str("--flag") + u32(8) +
                  str("transact.test.var") + str("after"));
    external_ = FakeExternal();
    external_.variables["transact.test.var"] = "before";
    TransactionEngine::init(&external_, pool());
    const std::string context = "state " + std::to_string(state);
    std::string targets;
    for (const char* file : {"old.txt", "sub/fresh.txt", "victim"}) {
      targets += (PathExists(file) ? ReadFile(file) : "-") + " ";
    }
    EXPECT_EQ(targets, result == kUndone ? "old - victim " : "new fresh - ")
        << context;
    std::remove("victim");
    for (const char* name : {"old.txt.bak.tr", "victim.bak.tr", "tmp_1", "tmp_2",
                             ".transaction.dat", ".transaction.dat.tmp"}) {
      EXPECT_EQ(PathExists(name), result == kUntouched && name[0] != '.')
          << context << " " << name;
    }
    // Quit, launch and variable act only at commit.
    const bool committed = result == kCommitted;
    EXPECT_EQ(external_.quits, committed ? 1 : 0) << context;
    EXPECT_EQ(external_.launched, (committed ? std::vector<std::string>{"prog", "--flag"}
                                             : std::vector<std::string>{})) << context;
    EXPECT_EQ(external_.variables["transact.test.var"], committed ? "after" : "before") << context;
  }
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  EXPECT_TRUE(engine.hasMutex()) << "recovery frees the lock";
}

}  // namespace
}  // namespace transact_test
