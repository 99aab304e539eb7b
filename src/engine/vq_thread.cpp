#include "engine/vq_thread.h"

#include <apr_time.h>
#include <log4cpp/Category.hh>

#include <chrono>
#include <exception>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/application_variables.h"
#include "app/thread_external_interface.h"
#include "engine/exception_reporter.h"
#include "engine/request_freshness.h"
#include "engine/server_url.h"
#include "engine/update_schedule.h"
#include "engine/vq_feed_settings.h"
#include "host/heap_release.h"
#include "host/mac_auto_release_pool.h"
#include "response/vq_response_processor.h"
#include "support/source_location.h"
#include "support/string_util.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "web/apple_web.h"

namespace {

// The VqThread whose loop runs on the calling thread, if any.
thread_local const VqThread* runningThread = nullptr;

// The values of "update.result".
const char kUpdateSucceeded[] = "succeeded";
const char kUpdateFailed[] = "failed";

// Publishes in "update.next" when the next update is due (the form of
// "update.last"); an update already due shows as now.
void publishNextUpdate(apr_time_t due, apr_time_t now) {
  char text[APR_CTIME_LEN];
  apr_ctime(text, due > now ? due : now);
  ApplicationVariables::set(ApplicationVariables::UPDATE_NEXT, text);
}

}  // namespace

VqThread::VqThread(ThreadExternalInterface* threadExternal, apr_pool_t*)
    : logger(log4cpp::Category::getInstance("VqThread")),
      threadExternal(threadExternal) {
  logger.debug("VqThread()");
  if (this->threadExternal == nullptr) {
    throw std::string("VqThread needs a ThreadExternalInterface");
  }
  VqFeedSettings::installUserIdProvider();
  try {
    pool = std::make_unique<apr::Pool>();
  } catch (const std::bad_alloc&) {
    throw std::string("pool creation failed in VqThread");
  }
  try {
    thread = std::thread(&VqThread::run, this);
  } catch (const std::system_error& e) {
    logger.error(std::string("Could not create thread: ") + e.what());
    throw std::string("Could not create thread");
  }
}

VqThread::~VqThread() {
  if (!exited.load()) exit();
  exited.store(true);
  logger.debug("~VqThread");
  if (onUpdateThread()) {
    // Destroyed from its own loop (through threadQuit or terminate).
    std::lock_guard<std::mutex> lock(joinMutex);
    if (thread.joinable()) thread.detach();
  } else {
    joinThread();
  }
  logger.debug("~VqThread: deleting threadExternal");
  ExceptionReporter::getReporter()->clearExternal(threadExternal.get());
  threadExternal.reset();
  pool.reset();
}

bool VqThread::onUpdateThread() const { return runningThread == this; }

void VqThread::joinThread() {
  // The thread cannot wait for itself; it ends on its own once its loop is
  // left.
  if (onUpdateThread()) return;
  std::lock_guard<std::mutex> lock(joinMutex);
  if (!thread.joinable()) return;  // joined already by another caller
  try {
    thread.join();
  } catch (const std::system_error& e) {
    logger.error(std::string("thread join failed: ") + e.what());
  }
}

bool VqThread::shouldExit() {
  if (threadExternal != nullptr && threadExternal->shouldQuit()) return true;
  return exitFlag.load();
}

void VqThread::wake() {
  log4cpp::Category& wakeLog = log4cpp::Category::getInstance("VqThread.wake");
  if (exited.load()) {
    wakeLog.warn("wake() called, but thread has already exited.");
    return;
  }
  wakeLog.debug("entered wake() has been called ");
  if (onUpdateThread()) {
    // The thread is running a pass, not sleeping; it checks its flags
    // before it sleeps again.
    wakeLog.debug("wake() called on the update thread itself; nothing to wake");
    return;
  }
  {
    // Held only for the flag: the update thread never keeps this lock
    // during a pass, so a wake never waits for the network.
    std::lock_guard<std::mutex> lock(wakeMutex);
    wakePending = true;
  }
  wakeCondition.notify_one();
  wakeLog.debug("Condition has been signalled");
  wakeLog.debug("Have triggered mutex for thread waking");
  wakeLog.debug("leaving wake()");
}

void VqThread::update() {
  updateRequested.store(true);
  updateTime.store(0);
  wake();
}

void VqThread::exit() {
  if (exited.load()) {
    logger.debug("VqThread::exit() - thread has already exited.");
    return;
  }
  logger.debug("exit()");
  exitFlag.store(true);
  wake();
  std::this_thread::yield();
  joinThread();
}

void VqThread::run() {
  runningThread = this;
  threadExternal->threadInit(this);
  logger.debug("run()");
  ExceptionReporter::getReporter()->setExternal(threadExternal.get());

  std::unique_ptr<apr::Pool> loopPool;
  try {
    loopPool = std::make_unique<apr::Pool>(pool->get());
  } catch (const std::bad_alloc&) {
    logger.error("Could not create loop pool for thread loop");
    exited.store(true);
    return;
  }

  long passCounter = 0;
  for (;;) {
    ++passCounter;
    ApplicationVariables::setf(ApplicationVariables::UPDATE_COUNT, "%ld",
                               passCounter);
    if (shouldExit()) {
      logger.debug(std::string("Exiting vq thread since exitFlag=") +
                   vq_support::BoolText(exitFlag.load()) +
                   ", threadExternal.shouldQuit=" +
                   vq_support::BoolText(threadExternal->shouldQuit()) +
                   " (pre-update)");
      break;
    }
    // Platform objects made during the pass are released at its end.
    host::MacAutoReleasePool releasePool;
    // Passes that do not update re-check at least this often.
    long updateSeconds = kIdleWaitSeconds;
    if (isUpdateDue(updateRequested.load(), updateTime.load(),
                    apr_time_now())) {
      performUpdate(loopPool->get(), updateSeconds);
    }
    if (logger.isDebugEnabled()) {
      const apr_time_t now = apr_time_now();
      const apr_time_t due = updateTime.load();
      std::ostringstream line;
      line << "now = " << now << ", updateTime = " << due
           << " : = " << (due - now) / 1000000 << "s";
      logger.debug(line.str());
    }
    loopPool->clear();
    // What the pass freed goes back to the system before the thread sleeps.
    host::releaseFreeHeapMemory();
    if (shouldExit()) {
      logger.debug("Exiting vq thread. Reason follows:");
      logger.debug(std::string("Exiting vq thread since exitFlag = ") +
                   vq_support::BoolText(exitFlag.load()) +
                   " and VqApplication::shouldQuit() = " +
                   vq_support::BoolText(threadExternal->shouldQuit()) +
                   " (post update) (" + VQ_SOURCE_LOCATION + ")");
      break;
    }
    waitForNextPass(updateSeconds);
    logger.debug("Done with wait do-while");
  }

  exited.store(true);
  logger.debug("vq Thread exiting");
  threadExternal->threadQuit(this);
  threadExternal->terminate();
}

void VqThread::performUpdate(apr_pool_t* loopPool, long& updateSeconds) {
  try {
    if (logger.isDebugEnabled()) {
      logger.debug("Performing update");
      TransactionEngine::debugTransaction("Start of update loop");
    }
    updateRequested.store(false);
    std::vector<std::string> servers;
    threadExternal->getAllServers(servers);

    AppleWeb web(loopPool);
    // A quit or exit() ends the request at once instead of after the
    // server's answer.
    web.setCancelCheck([this] { return shouldExit(); });
    web.addParameterf("feedId", "%ld", threadExternal->getFeedId());
    web.addParameter("build", threadExternal->getBuild());
    web.addParameterf("appId", "%ld", threadExternal->getAppId());
    web.addParameter("os", threadExternal->getOS());
    web.addParameter("platform", threadExternal->getPlatform());
    web.addParameter("machineId", threadExternal->getMachineId());
    if (ApplicationVariables::getBool(ApplicationVariables::SECURE_SIGN)) {
      web.addParameter("sign", "true");
    }
    VqFeedSettings feedSettings(loopPool);
    feedSettings.prepareRequest(web);
    // After every other parameter: servers that read them by position are
    // not disturbed.
    const FreshnessExpectation freshness =
        addRequestNonce(web, &freshnessNotices);

    bool succeeded = false;
    for (const std::string& server : servers) {
      if (succeeded || shouldExit()) break;
      succeeded = tryServer(web, server, freshness, loopPool, updateSeconds);
    }
    if (!succeeded) {
      updateTime.store(updateTimeAfterFailure(apr_time_now()));
      logger.error("Failed to connect to any vq server for update.");
    }
    ApplicationVariables::set(ApplicationVariables::UPDATE_RESULT,
                          succeeded ? kUpdateSucceeded : kUpdateFailed);
  } catch (VqException& e) {
    logger.error(std::string("Caught VqException: ") + e.what());
    reportToServer(e);
    deferAfterAbortedUpdate();
  } catch (const std::string& text) {
    logger.error("Encountered exception: " + text);
    threadExternal->flushLog();
    deferAfterAbortedUpdate();
  } catch (const std::exception& e) {
    // Left uncaught, this would end the process from a background thread.
    logger.error(std::string("Encountered exception: ") + e.what());
    threadExternal->flushLog();
    deferAfterAbortedUpdate();
  }
}

void VqThread::deferAfterAbortedUpdate() {
  ApplicationVariables::set(ApplicationVariables::UPDATE_RESULT, kUpdateFailed);
  // The schedule is kept when it lies ahead. When the update was already due
  // (always so on the first pass) keeping it would start the same failing
  // update, and its error report, again at once, in a tight loop; it is
  // retried like a pass on which every server failed.
  const apr_time_t now = apr_time_now();
  if (updateTime.load() <= now) updateTime.store(updateTimeAfterFailure(now));
}

bool VqThread::tryServer(Web& web, const std::string& server,
                         const FreshnessExpectation& freshness,
                         apr_pool_t* loopPool, long& updateSeconds) {
  const std::string url = serverPageUrl(server, kUpdatePage);
  try {
    logger.debug("Trying : " + url);
    web.setUrl(url.c_str());
    web.logDebug();
    web.get();
    VqResponseProcessor processor(loopPool, threadExternal.get(), url.c_str());
    processor.expectFreshAnswer(freshness);
    processor.setCancelCheck([this] { return shouldExit(); });
    processor.process(
        web, ExceptionReporter::getReporter(),
        ApplicationVariables::getBool(ApplicationVariables::SECURE_SIGN));
    updateSeconds = clampUpdateSeconds(processor.updateSeconds());
    const apr_time_t now = apr_time_now();
    updateTime.store(updateTimeAfterSuccess(now, updateSeconds));
    char lastUpdate[APR_CTIME_LEN];
    apr_ctime(lastUpdate, now);
    ApplicationVariables::set(ApplicationVariables::UPDATE_LAST, lastUpdate);
    return true;
  } catch (const std::string& text) {
    logger.error("Error on server " + url + ": " + text);
    VqException error(url.c_str(), text);
    if (!shouldExit()) reportToServer(error);
  } catch (VqException& e) {
    logger.error("Error on server " + url + ": " + e.what());
    // A request cancelled because the agent is quitting is no server error,
    // and a report now would only delay the exit.
    if (!shouldExit()) reportToServer(e);
  } catch (const std::exception& e) {
    logger.error(std::string("std::exception : ") + e.what());
  }
  return false;
}

void VqThread::reportToServer(VqException& error) {
  ExceptionReporter::getReporter()->report(error);
}

void VqThread::waitForNextPass(long updateSeconds) {
  const apr_time_t waitStart = apr_time_now();
  std::unique_lock<std::mutex> lock(wakeMutex);
  for (;;) {
    const long refresh =
        ApplicationVariables::getLong(ApplicationVariables::DEBUG_REFRESH, 0);
    if (refresh > 0) {
      updateTime.store(debugRefreshUpdateTime(waitStart, refresh));
      if (logger.isDebugEnabled()) {
        std::ostringstream line;
        line << "debug.refresh set - overriding with update time of "
             << refresh / 10.0;
        logger.debug(line.str());
      }
    }
    const apr_time_t now = apr_time_now();
    const apr_time_t due = updateTime.load();
    publishNextUpdate(due, now);
    if (logger.isDebugEnabled()) {
      logger.debug("timediff : " + std::to_string(due - now));
    }
    const apr_interval_time_t wait = waitTurnMicros(updateSeconds, due, now);
    // An update asked for during the pass (by the pass itself, which cannot
    // signal its own condition) is served at once, and so is a wake that
    // came while the pass ran; the pass about to start serves any pending
    // wake.
    if (wait <= 0 || shouldExit() || updateRequested.load() || wakePending) {
      if (wakePending) logger.debug("Woken during the pass");
      wakePending = false;
      return;
    }

    const bool woken = wakeCondition.wait_for(
        lock, std::chrono::microseconds(wait), [this] { return wakePending; });
    logger.debug(std::string("Sleep status = ") +
                 (woken ? "signalled" : "timeout"));
    if (woken) {
      wakePending = false;
      logger.debug("Woken by condition signal");
      return;
    }
    if (updateTime.load() <= apr_time_now()) return;
  }
}
