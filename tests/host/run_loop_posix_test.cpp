#include "host/run_loop.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "testing/wait_for.h"

namespace host {
namespace {

TEST(RunLoopTest, TerminateEndsRunFromAnyThreadOrBeforeItStarts) {
  struct sigaction before;
  sigaction(SIGTERM, nullptr, &before);
  {
    RunLoop loop;
    EXPECT_THROW(RunLoop second, std::runtime_error);  // one loop at a time
    std::atomic<bool> running{false};
    std::thread other([&] {
      vq_testing::WaitFor([&] { return running.load(); });
      RunLoop::terminateCurrent();
    });
    running = true;
    EXPECT_EQ(0, loop.run());
    other.join();
  }
  struct sigaction after;
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(before.sa_handler, after.sa_handler) << "handler not restored";
  RunLoop::terminateCurrent();  // with no loop: nothing happens
  RunLoop loop;
  loop.terminate();
  loop.terminate();
  EXPECT_EQ(0, loop.run());
}

TEST(RunLoopTest, SignalsEndRunEvenWhenBlockedBeforehand) {
  for (const int signal : {SIGTERM, SIGINT}) {
    sigset_t set, previous;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    {
      RunLoop loop;
      kill(getpid(), signal);  // pending until run() unblocks it
      EXPECT_EQ(signal, loop.run());
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
}

TEST(RunLoopTest, ReopenSignalCallsHandlerAndKeepsRunning) {
  RunLoop loop;
  int reopened = 0;
  std::thread other([] { kill(getpid(), SIGUSR1); });
  EXPECT_EQ(SIGTERM, loop.run([&] { ++reopened, kill(getpid(), SIGTERM); }));
  other.join();
  EXPECT_EQ(1, reopened);
}

}  // namespace
}  // namespace host
