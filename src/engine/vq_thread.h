#ifndef VQ_ENGINE_VQ_THREAD_H_
#define VQ_ENGINE_VQ_THREAD_H_

#include <apr_pools.h>
#include <apr_time.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "response/answer_freshness.h"
#include "support/apr_pool.h"

namespace log4cpp {
class Category;
}  // namespace log4cpp

class ThreadExternalInterface;
class VqException;
class Web;

// The background update thread. It runs passes: a pass updates when an
// update is due (at once after construction) or was asked for with update();
// an update posts one request to the servers in the order the application
// gives them, until one answer has been processed, and takes from that
// answer the seconds until the next update (600 when it names none). When
// every server fails, the next try is 300 seconds later. Between passes the
// thread sleeps; "debug.refresh" (tenths of a second) overrides the
// interval.
//
// Locking: wakeMutex guards only the wake-up flag and the sleep; a pass
// runs without it. wake(), update() and exit() set their flags, notify and
// return at once, also while a pass runs (exit() then waits only for the
// join). A wake that comes during a pass ends the next sleep at once. Every
// transfer of a pass polls shouldExit(), so a quit or exit() cancels the
// pass's network requests and downloads within about a second, whatever
// the server does. Called on the update thread itself (for instance by a
// quit action run during a pass) they do not block either: the thread sees
// the request at its next check.
//
// The thread reaches the application only through ThreadExternalInterface.
// When the loop ends, for whatever reason, it calls threadQuit and then
// terminate on it.
class VqThread {
 public:
  // Starts the thread; it runs as soon as the constructor returns. Takes
  // ownership of `threadExternal`, also when it throws. `pool` is not used:
  // the thread makes its own top-level pool. Throws a std::string when
  // `threadExternal` is null or a resource cannot be made.
  VqThread(ThreadExternalInterface* threadExternal, apr_pool_t* pool);
  // Stops and joins the thread if it is still running, then deletes the
  // external interface.
  ~VqThread();

  VqThread(const VqThread&) = delete;
  VqThread& operator=(const VqThread&) = delete;

  // Ends the current sleep. The next pass updates only if an update is due.
  void wake();
  // Makes the next pass update whatever the schedule says, and wakes.
  void update();
  // Asks the loop to end and waits for the thread (unless called on it).
  void exit();
  // True when the application is quitting or exit() was called.
  bool shouldExit();

 private:
  void run();
  // One pass's update: request, servers in order, scheduling.
  void performUpdate(apr_pool_t* loopPool, long& updateSeconds);
  // Sends the filled request to one server and processes its answer; true
  // when that succeeded. Failures are logged and reported, never thrown.
  bool tryServer(Web& web, const std::string& server,
                 const FreshnessExpectation& freshness, apr_pool_t* loopPool,
                 long& updateSeconds);
  // Moves a due update time forward after an update that ended in an
  // exception.
  void deferAfterAbortedUpdate();
  // Hands `error` to the process's error reporter.
  void reportToServer(VqException& error);
  // Sleeps until the next pass is due, a wake, or exit.
  void waitForNextPass(long updateSeconds);
  bool onUpdateThread() const;
  void joinThread();

  log4cpp::Category& logger;
  std::unique_ptr<ThreadExternalInterface> threadExternal;
  std::unique_ptr<apr::Pool> pool;

  std::mutex wakeMutex;
  std::condition_variable wakeCondition;
  // Set by wake() from other threads, taken by the sleep. Guarded by
  // wakeMutex.
  bool wakePending = false;
  std::thread thread;
  // Serialises joins: exit() may be called from several threads at once.
  std::mutex joinMutex;

  // Written by other threads before they call wake().
  std::atomic<apr_time_t> updateTime{0};
  std::atomic<bool> updateRequested{false};
  std::atomic<bool> exitFlag{false};
  std::atomic<bool> exited{false};
  // Servers already told about in the log for answers without a second
  // signature.
  FreshnessNotices freshnessNotices;
};

#endif  // VQ_ENGINE_VQ_THREAD_H_
