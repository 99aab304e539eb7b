// Crash tests with real processes: a child runs a transaction over real
// files and dies inside it (TransactionalCrash in a chosen phase, or SIGKILL
// at a random moment); a fresh engine in the parent then recovers, and every
// file must be wholly old or wholly new, with nothing left behind.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "crash/crash_workload.h"
#include "testing/file_util.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"

namespace crash_test {
namespace {

using Clock = std::chrono::steady_clock;

// Runs `body` in a child process that exits with 0 when it returns. The
// child never returns into the test framework.
pid_t forkChild(const std::function<void(apr_pool_t*)>& body) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  apr_pool_t* pool = nullptr;
  apr_pool_create(&pool, nullptr);
  body(pool);
  _exit(0);
}

int waitChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

class CrashRecoveryTest : public transact_test::TransactFixture {
 protected:
  // Recovers in this process and checks the files; returns the outcome.
  Outcome recoverAndCheck(const std::string& context) {
    const bool journalFound = vq_testing::PathExists(".transaction.dat");
    TransactionEngine::init(&external_, pool());
    std::string problem;
    Outcome outcome = workload_.check(problem);
    EXPECT_NE(outcome, Outcome::kMixed) << context << ": " << problem;
    const bool sourcesGone = journalFound || outcome == Outcome::kAllNew;
    for (const std::string& name : workload_.leftovers(sourcesGone)) {
      ADD_FAILURE() << context << ": left behind " << name;
    }
    return outcome;
  }

  // Removes everything the previous round created.
  void resetDirectory() {
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      std::filesystem::remove_all(entry.path());
    }
  }

  transact_test::FakeExternal external_;
  Workload workload_;
};

TEST_F(CrashRecoveryTest, CrashInEachPhaseRecoversToOneWholeVersion) {
  struct Case {
    int stage;
    bool failAtEnd;
    Outcome expected;
  };
  const Case cases[] = {
      {VQTRANSACTION_PREPARE, false, Outcome::kAllOld},
      {VQTRANSACTION_EXECUTE, false, Outcome::kAllOld},
      {VQTRANSACTION_COMMIT, false, Outcome::kAllNew},
      {VQTRANSACTION_ROLLBACK, true, Outcome::kAllOld},
  };
  for (const Case& c : cases) {
    workload_.setUp();
    const std::size_t positions[] = {0, workload_.operationCount() / 2,
                                     workload_.operationCount()};
    for (std::size_t position : positions) {
      const std::string context = "stage " + std::to_string(c.stage) +
                                  " at " + std::to_string(position);
      resetDirectory();
      workload_.setUp();
      WorkloadOptions options;
      options.crashStage = c.stage;
      options.crashPosition = position;
      options.failAtEnd = c.failAtEnd;
      const Workload& workload = workload_;
      int status = waitChild(forkChild(
          [&](apr_pool_t* pool) { workload.run(options, pool); }));
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
          << context << ": the child did not crash (status " << status << ")";
      EXPECT_TRUE(vq_testing::PathExists(".transaction.dat")) << context;
      EXPECT_EQ(recoverAndCheck(context), c.expected) << context;
    }
  }
}

TEST_F(CrashRecoveryTest, TransactionWithoutCrashLeavesNewFilesOnly) {
  workload_.setUp();
  int status = waitChild(forkChild(
      [&](apr_pool_t* pool) { workload_.run(WorkloadOptions(), pool); }));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(vq_testing::PathExists(".transaction.dat"));
  EXPECT_EQ(recoverAndCheck("no crash"), Outcome::kAllNew);
}

// How long one whole transaction takes in a child, to spread kill moments
// over it.
std::chrono::microseconds measureRun(Workload& workload,
                                     const WorkloadOptions& options) {
  workload.setUp();
  const auto start = Clock::now();
  waitChild(forkChild([&](apr_pool_t* pool) { workload.run(options, pool); }));
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() -
                                                               start);
}

TEST_F(CrashRecoveryTest, KillAtRandomMomentsRecoversToOneWholeVersion) {
  // Bounded in count and in time, whichever ends first.
  const int kRoundsPerScenario = 20;
  const auto kBudget = std::chrono::seconds(15);
  const auto begin = Clock::now();
  std::map<std::string, int> seen;
  for (bool failAtEnd : {false, true}) {
    WorkloadOptions options;
    options.failAtEnd = failAtEnd;
    resetDirectory();
    const auto span = measureRun(workload_, options);
    std::printf("one %s transaction takes %ld us\n",
                failAtEnd ? "failing" : "succeeding",
                static_cast<long>(span.count()));
    resetDirectory();
    for (int round = 0; round < kRoundsPerScenario; ++round) {
      if (Clock::now() - begin > kBudget) break;
      const unsigned seed = 1000u * (failAtEnd ? 2 : 1) + round;
      std::mt19937 random(seed);
      const auto delay = std::chrono::microseconds(
          std::uniform_int_distribution<long>(0, span.count())(random));
      const std::string context = std::string(failAtEnd ? "rollback" : "commit") +
                                  " seed " + std::to_string(seed) + " delay " +
                                  std::to_string(delay.count()) + "us";
      resetDirectory();
      workload_.setUp();
      pid_t child =
          forkChild([&](apr_pool_t* pool) { workload_.run(options, pool); });
      std::this_thread::sleep_for(delay);  // the kill moment itself
      kill(child, SIGKILL);
      int status = waitChild(child);
      std::string journalState = "none";
      if (vq_testing::PathExists(".transaction.dat")) {
        journalState = transactionStateLabel(transact_test::u32At(
            transact_test::readBytes(".transaction.dat"), 0));
      }
      ++seen[journalState + (WIFSIGNALED(status) ? "" : " (finished)")];
      Outcome outcome = recoverAndCheck(context);
      if (failAtEnd) {
        EXPECT_EQ(outcome, Outcome::kAllOld) << context;
      }
    }
  }
  for (const auto& entry : seen) {
    std::printf("journal at kill: %-22s x%d\n", entry.first.c_str(),
                entry.second);
  }
}

TEST_F(CrashRecoveryTest, KilledRecoveryCanBeRecoveredAgain) {
  // Crash during execute, then kill the recovering process at random
  // moments: a second recovery must still reach the old files.
  WorkloadOptions options;
  options.crashStage = VQTRANSACTION_EXECUTE;
  options.crashPosition = 8;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    resetDirectory();
    workload_.setUp();
    waitChild(forkChild([&](apr_pool_t* pool) { workload_.run(options, pool); }));
    ASSERT_TRUE(vq_testing::PathExists(".transaction.dat"));
    transact_test::FakeExternal* external = &external_;
    pid_t recovering = forkChild(
        [&](apr_pool_t* pool) { TransactionEngine::init(external, pool); });
    std::mt19937 random(seed);
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution<int>(0, 3000)(random)));
    kill(recovering, SIGKILL);
    waitChild(recovering);
    EXPECT_EQ(recoverAndCheck("recovery seed " + std::to_string(seed)),
              Outcome::kAllOld);
  }
}

}  // namespace
}  // namespace crash_test
