// Crash tests with real processes: a child runs a transaction of moves and
// deletes over real files and dies inside it (TransactionalCrash in a chosen
// phase, or SIGKILL at a random moment); the parent then recovers, and every
// file must be wholly old or wholly new, with nothing left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>
#include <tuple>

#include "testing/file_util.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_crash.h"

namespace transact_test {
namespace {

using vq_testing::PathExists;
namespace fs = std::filesystem;

// Runs `body` in a child process that exits with 0 when it returns.
pid_t forkChild(const std::function<void()>& body) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  body();
  _exit(0);
}

int waitChild(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// Distinct, position-dependent content: a torn file matches no version.
std::string content(const std::string& tag, std::size_t size) {
  std::string text;
  for (int block = 0; text.size() < size; ++block) text += tag + ":" + std::to_string(block) + ";";
  text.resize(size);
  return text;
}

class CrashRecoveryTest : public TransactFixture {
 protected:
  static constexpr std::size_t kTargets = 12;

  // Empties the directory, then writes 6 files to replace, the sources of 3
  // to create in new directories, and 3 files to delete.
  void setUpFiles() {
    targets_.clear();
    for (std::size_t i = 0; i < kTargets; ++i) {
      const std::string n = std::to_string(i);
      const std::string file =
          i < 6 ? "replace" + n : i < 9 ? "fresh/dir" + n + "/new" : "delete" + n;
      targets_.push_back({file, i < 6 || i >= 9 ? content("old-" + file, 48000 + i * 1000) : "",
                          i < 9 ? content("new-" + file, 48000 + i * 777) : "",
                          i < 9 ? "tmp_" + n : ""});
    }
    layOut(targets_);
    // Clean pages, so that kill moments spread over the transaction's work.
    int fd = open(".", O_RDONLY | O_DIRECTORY);
    syncfs(fd);
    close(fd);
  }

  // Sets up the files and runs the transaction in a child: with a crash
  // operation of `stage` (0 for none) before target `position`, and with a
  // last move whose missing source forces a rollback when `failAtEnd`.
  pid_t startChild(int stage, std::size_t position, bool failAtEnd) {
    setUpFiles();
    return forkChild([&] {
      apr_pool_t* pool = this->pool();
      TransactionEngine engine(nullptr, pool);
      engine.clear(true);
      for (std::size_t i = 0; i <= kTargets; ++i) {
        if (stage != 0 && i == position) {
          auto* crash = new TransactionalCrash(pool);
          crash->setStage(stage);
          engine << crash;
        }
        if (i == kTargets) break;
        engine << operationFor(pool, targets_[i]);
      }
      if (failAtEnd) engine << newMove(pool, "tmp_missing", "never.dat");
      engine.executeTransaction();
    });
  }

  // Recovers in this process and checks the files: returns "old" or "new"
  // when every target is wholly so, else "mixed".
  std::string recoverAndCheck(const std::string& context) {
    const bool journalFound = PathExists(".transaction.dat");
    TransactionEngine::init(&external_, pool());
    // The sources must be gone once anything ran.
    const auto [olds, news] = checkRecovered(targets_, journalFound, context);
    EXPECT_FALSE(PathExists("never.dat")) << context;
    const std::string outcome = olds == kTargets ? "old" : news == kTargets ? "new" : "mixed";
    EXPECT_NE(outcome, "mixed") << context;
    return outcome;
  }

  std::vector<Target> targets_;
};

TEST_F(CrashRecoveryTest, CrashInEachPhaseRecoversToOneWholeVersion) {
  const std::tuple<int, bool, const char*> cases[] = {
      {VQTRANSACTION_PREPARE, false, "old"},
      {VQTRANSACTION_EXECUTE, false, "old"},
      {VQTRANSACTION_COMMIT, false, "new"},
      {VQTRANSACTION_ROLLBACK, true, "old"},
  };
  for (const auto& [stage, failAtEnd, expected] : cases) {
    for (std::size_t position : {std::size_t{0}, kTargets / 2, kTargets}) {
      const std::string context =
          "stage " + std::to_string(stage) + " at " + std::to_string(position);
      const int status = waitChild(startChild(stage, position, failAtEnd));
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
          << context << ": the child ended with status " << status;
      EXPECT_TRUE(PathExists(".transaction.dat")) << context;
      EXPECT_EQ(recoverAndCheck(context), expected) << context;
    }
  }
}

TEST_F(CrashRecoveryTest, KillsAtRandomMomentsRecoverToOneWholeVersion) {
  using Clock = std::chrono::steady_clock;
  // Bounded in count and in time, whichever ends first.
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  int interrupted = 0;
  for (bool failAtEnd : {false, true}) {
    // Spread the kill moments over one whole transaction's time.
    const pid_t timed = startChild(0, 0, failAtEnd);
    const auto start = Clock::now();
    waitChild(timed);
    const long span =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    for (unsigned round = 0; round < 20 && Clock::now() < deadline; ++round) {
      const unsigned seed = 1000u * (failAtEnd ? 2 : 1) + round;
      std::mt19937 random(seed);
      const long delay = std::uniform_int_distribution<long>(0, span)(random);
      const std::string context = std::string(failAtEnd ? "rollback" : "commit") + " seed " +
                                  std::to_string(seed) + " delay " + std::to_string(delay) + "us";
      const pid_t child = startChild(0, 0, failAtEnd);
      std::this_thread::sleep_for(std::chrono::microseconds(delay));
      kill(child, SIGKILL);
      waitChild(child);
      if (PathExists(".transaction.dat")) {
        ++interrupted;
        // Every other time, the first recovery is killed as well.
        if (round % 2 == 1) {
          const pid_t recovering = forkChild([&] { TransactionEngine::init(&external_, pool()); });
          std::this_thread::sleep_for(std::chrono::microseconds(delay % 3000));
          kill(recovering, SIGKILL);
          waitChild(recovering);
        }
      }
      EXPECT_TRUE(recoverAndCheck(context) == "old" || !failAtEnd) << context;
    }
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a transaction";
}

}  // namespace
}  // namespace transact_test
