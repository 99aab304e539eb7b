// The engine's phase order, error collection, state machine and lock.
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <thread>

#include "testing/file_util.h"
#include "testing/wait_for.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"

namespace transact_test {
namespace {

using Trace = std::vector<std::string>;

class TransactionEngineTest : public TransactFixture {
 protected:
  // Runs operations a, b, c (failing as given) and returns the result.
  bool run(std::vector<std::vector<std::string>> fails) {
    TransactionEngine engine(&external_, pool());
    engine.clear(true);
    const char* names[] = {"a", "b", "c"};
    for (std::size_t i = 0; i < fails.size(); ++i) {
      engine << new ScriptedOperation(names[i], &trace_, fails[i]);
    }
    const bool result = engine.executeTransaction();
    EXPECT_FALSE(engine.hasMutex());
    EXPECT_FALSE(vq_testing::PathExists(".transaction.dat"));
    return result;
  }

  FakeExternal external_;
  Trace trace_;
};

TEST_F(TransactionEngineTest, PhasesRunForwardAndStopWhereTheyMust) {
  EXPECT_TRUE(run({{}, {}}));
  EXPECT_EQ(trace_, (Trace{"a.prepare", "b.prepare", "a.execute", "b.execute",
                           "a.commit", "b.commit", "a.cleanup", "b.cleanup"}));
  // A refused prepare: nothing executed or rolled back, all cleaned up.
  trace_.clear();
  EXPECT_FALSE(run({{}, {"prepare"}, {}}));
  EXPECT_EQ(trace_, (Trace{"a.prepare", "b.prepare", "a.cleanup", "b.cleanup",
                           "c.cleanup"}));
  // A failed execute: every operation is rolled back, even unexecuted ones.
  trace_.clear();
  EXPECT_FALSE(run({{}, {"execute"}, {}}));
  EXPECT_EQ(trace_, (Trace{"a.prepare", "b.prepare", "c.prepare", "a.execute",
                           "b.execute", "a.rollback", "b.rollback",
                           "c.rollback", "a.cleanup", "b.cleanup",
                           "c.cleanup"}));
}

TEST_F(TransactionEngineTest, CollectedErrorsAreThrownTogetherAfterCleanup) {
  try {
    run({{"commit"}, {"commit", "cleanup"}, {}});
    FAIL() << "expected a TransactionException";
  } catch (const TransactionException& e) {
    EXPECT_STREQ(e.what(), "a.commit\nb.commit\nb.cleanup");
  }
  EXPECT_EQ(trace_.size(), 12u) << "no phase stops at a collected error";
  try {
    run({{"execute", "rollback"}});
    FAIL() << "expected a TransactionException";
  } catch (const TransactionException& e) {
    EXPECT_STREQ(e.what(), "a.rollback");
  }
}

TEST_F(TransactionEngineTest, CleanupTransactionAfterCompletionDoesNothing) {
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  engine << new ScriptedOperation("a", &trace_, {"commit"});
  EXPECT_THROW(engine.executeTransaction(), TransactionException);
  trace_.clear();
  engine.cleanupTransaction();
  EXPECT_TRUE(trace_.empty());
  // An abandoned transaction goes from GENESIS straight to cleanup.
  TransactionEngine abandoned(&external_, pool());
  abandoned.clear(true);
  abandoned << new ScriptedOperation("b", &trace_);
  abandoned.cleanupTransaction();
  EXPECT_EQ(trace_, (Trace{"b.cleanup"}));
  EXPECT_EQ(abandoned.getState(), VQTRANSACTION_COMPLETE);
}

TEST_F(TransactionEngineTest, JournalIsWrittenWholeAtPrepareAndUpdatedInPlace) {
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  engine.setState(VQTRANSACTION_PREPARE);
  EXPECT_EQ(readBytes(".transaction.dat"),
            JournalBytes().u32(VQTRANSACTION_GENESIS).u32(0).bytes());
  EXPECT_FALSE(vq_testing::PathExists(".transaction.dat.tmp"));
  engine.setState(VQTRANSACTION_EXECUTE);
  engine.setState(VQTRANSACTION_ROLLBACK);
  EXPECT_EQ(readBytes(".transaction.dat"),
            JournalBytes().u32(VQTRANSACTION_ROLLBACK).u32(0).bytes());
  engine.setState(VQTRANSACTION_CLEANUP);
  engine.setState(VQTRANSACTION_COMPLETE);
  EXPECT_FALSE(vq_testing::PathExists(".transaction.dat"));
}

TEST_F(TransactionEngineTest, InvalidTransitionsThrowTheirTextsAndKeepState) {
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  auto expectRefused = [&](TransactionState to, const char* text) {
    const TransactionState before = engine.getState();
    try {
      engine.setState(to);
      ADD_FAILURE() << "no exception for " << to;
    } catch (const TransactionException& e) {
      EXPECT_STREQ(e.what(), text);
    }
    EXPECT_EQ(engine.getState(), before);
  };
  expectRefused(VQTRANSACTION_EXECUTE,
                "Cannot transition to VQTRANSACTION_EXECUTE except from "
                "TRANSACTON_PREPARE");
  expectRefused(VQTRANSACTION_COMMIT,
                "Cannot transition to VQTRANSACTION_COMMIT except from "
                "VQTRANSACTION_EXECUTE");
  expectRefused(VQTRANSACTION_ROLLBACK,
                "Cannot transition to VQTRANSACTION_ROLLBACK except from "
                "VQTRANSACTION_EXECUTE");
  expectRefused(VQTRANSACTION_COMPLETE,
                "Cannot transition to VQTRANSACTION_COMPLETE except from "
                "VQTRANSACTION_CLEANUP");
  engine.setState(VQTRANSACTION_PREPARE);
  expectRefused(VQTRANSACTION_PREPARE,
                "Cannot transition to VQTRANSACTION_PREPARE except from "
                "VQTRANSACTION_GENESIS");
  engine.setState(VQTRANSACTION_EXECUTE);
  expectRefused(VQTRANSACTION_CLEANUP,
                "Cannot transition to VQTRANSACTION_CLEANUP except from "
                "VQTRANSACTION_PREPARE, VQTRANSACTION_COMMIT or "
                "VQTRANSACTION_ROLLBACK");
  // Recovery re-enters an interrupted phase from itself.
  engine.setState(VQTRANSACTION_COMMIT);
  engine.setState(VQTRANSACTION_COMMIT);
  engine.setState(VQTRANSACTION_CLEANUP);
  engine.setState(VQTRANSACTION_CLEANUP);
  engine << new ScriptedOperation("a", &trace_);
  EXPECT_EQ(engine.dump(),
            "-------------------\n{\n  state: CLEANUP\n#transactions : 1[\n"
            "   Scripted a\n]\n}");
}

TEST_F(TransactionEngineTest, SecondEngineSleepsUntilTheFirstCompletes) {
  TransactionEngine first(&external_, pool());
  first.clear(true);
  std::atomic<bool> started{false};
  std::atomic<bool> acquired{false};
  clockid_t waiterClock{};
  std::thread waiter([&] {
    pthread_getcpuclockid(pthread_self(), &waiterClock);
    started = true;
    apr_pool_t* threadPool = nullptr;
    apr_pool_create(&threadPool, nullptr);
    {
      TransactionEngine second(nullptr, threadPool);
      second.clear(true);
      acquired = true;
      EXPECT_TRUE(second.executeTransaction());
    }
    apr_pool_destroy(threadPool);
  });
  ASSERT_TRUE(vq_testing::WaitFor([&] { return started.load(); }));
  // While the first transaction is open the second must not get in, and
  // must not burn the processor while it waits.
  EXPECT_FALSE(vq_testing::WaitFor([&] { return acquired.load(); },
                                   std::chrono::milliseconds(300)));
  timespec used{};
  ASSERT_EQ(clock_gettime(waiterClock, &used), 0);
  EXPECT_LT(used.tv_sec * 1000 + used.tv_nsec / 1000000, 100)
      << "the waiting thread spun instead of sleeping";
  EXPECT_TRUE(first.executeTransaction());
  EXPECT_TRUE(vq_testing::WaitFor([&] { return acquired.load(); }));
  waiter.join();
  // The lock is per engine: taking it twice through one engine is harmless.
  first.lockTransactionMutex();
  first.lockTransactionMutex();
  first.releaseTransactionMutex();
  first.releaseTransactionMutex();
  EXPECT_FALSE(first.hasMutex());
}

}  // namespace
}  // namespace transact_test
