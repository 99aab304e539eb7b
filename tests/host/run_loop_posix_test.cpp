#include "host/run_loop.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace host {
namespace {

TEST(RunLoopTest, TerminateEndsRunFromAnyThreadOrBeforeItStarts) {
  struct sigaction before, after;
  sigaction(SIGTERM, nullptr, &before);
  {
    RunLoop loop;
    EXPECT_THROW(RunLoop second, std::runtime_error);  // one loop at a time
    std::thread other([] { RunLoop::terminateCurrent(); });
    EXPECT_EQ(0, loop.run());
    other.join();
  }
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(before.sa_handler, after.sa_handler) << "handler not restored";
  RunLoop::terminateCurrent();  // with no loop: nothing happens
  RunLoop loop;
  loop.terminate();
  EXPECT_EQ(0, loop.run());
}

TEST(RunLoopTest, SignalsEndRunEvenWhenBlockedBeforehandReopenDoesNot) {
  for (const int signal : {SIGTERM, SIGINT}) {
    sigset_t set, previous;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    RunLoop loop;
    raise(SIGUSR1);
    kill(getpid(), signal);  // pending until run() unblocks it
    int reopened = 0;
    EXPECT_EQ(signal, loop.run([&] { ++reopened; }));
    EXPECT_EQ(1, reopened);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
}

}  // namespace
}  // namespace host
