#ifndef VQ_HOST_RUN_LOOP_H_
#define VQ_HOST_RUN_LOOP_H_

#include <functional>

namespace host {

// The main thread's loop: it sleeps, using no CPU, until terminate() is
// called from any thread or SIGTERM or SIGINT arrives. SIGUSR1 stands for
// the platform's "reopen" event (the user asking for the application
// again): run() calls its handler on the calling thread and goes on.
//
// The constructor installs handlers for the three signals (restored by the
// destructor), so a signal or a terminate() that comes before run() is not
// lost: run() then returns at once. Signals must not stay blocked in every
// thread; run() unblocks them on its own thread. At most one RunLoop may
// exist at a time.
class RunLoop {
 public:
  // Throws std::runtime_error when another RunLoop exists or the wake-up
  // pipe cannot be made.
  RunLoop();
  // Must not run while another thread may still call terminate().
  ~RunLoop();

  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Blocks until the loop is asked to end. Returns the signal that ended it,
  // or 0 when terminate() did. `onReopen` may be empty.
  int run(const std::function<void()>& onReopen = nullptr);

  // Asks run() to return. Async-signal-safe; callable from any thread, also
  // before run() and more than once.
  void terminate();

  // terminate() on the existing loop, or nothing when there is none: fits a
  // plain function-pointer slot.
  static void terminateCurrent();
};

}  // namespace host

#endif  // VQ_HOST_RUN_LOOP_H_
