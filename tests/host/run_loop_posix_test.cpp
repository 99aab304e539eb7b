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

TEST(RunLoopTest, TerminateFromAnotherThreadEndsRun) {
  RunLoop loop;
  std::atomic<bool> running{false};
  std::thread other([&] {
    vq_testing::WaitFor([&] { return running.load(); });
    RunLoop::terminateCurrent();
  });
  running = true;
  EXPECT_EQ(0, loop.run());
  other.join();
}

TEST(RunLoopTest, SignalsEndRunEvenWhenBlockedBeforehand) {
  for (const int signal : {SIGTERM, SIGINT}) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigset_t previous;
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
  EXPECT_EQ(SIGTERM, loop.run([&] {
    ++reopened;
    kill(getpid(), SIGTERM);
  }));
  other.join();
  EXPECT_EQ(1, reopened);
}

TEST(RunLoopTest, EarlyTerminateOneLoopAtATimeHandlersRestored) {
  struct sigaction before;
  sigaction(SIGTERM, nullptr, &before);
  {
    RunLoop loop;
    EXPECT_THROW(RunLoop second, std::runtime_error);
    // Asked before run() and more than once: run() returns at once.
    loop.terminate();
    loop.terminate();
    EXPECT_EQ(0, loop.run());
  }
  struct sigaction after;
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(before.sa_handler, after.sa_handler);
  // With no loop, terminateCurrent does nothing.
  RunLoop::terminateCurrent();
  RunLoop again;
  again.terminate();
  EXPECT_EQ(0, again.run());
}

}  // namespace
}  // namespace host
