#ifndef VQ_TESTS_ENGINE_ENGINE_FIXTURES_H_
#define VQ_TESTS_ENGINE_ENGINE_FIXTURES_H_

#include <gtest/gtest.h>
#include <log4cpp/AppenderSkeleton.hh>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/fake_thread_external.h"
#include "engine/vq_thread.h"
#include "engine/vqserve_process.h"
#include "testing/scoped_temp_dir.h"
#include "web/web.h"

namespace engine_testing {

// Keeps every line logged through the root category as "PRIORITY category:
// message". Thread-safe: the update thread logs while tests read.
class LogCapture : public log4cpp::AppenderSkeleton {
 public:
  LogCapture() : log4cpp::AppenderSkeleton("engine-tests") {}
  void clear();
  std::vector<std::string> lines() const;
  // Lines holding `text` (and `priority`, e.g. "ERROR ", when given).
  int count(const std::string& text, const std::string& priority = "") const;

  void close() override {}
  bool reopen() override { return true; }
  bool requiresLayout() const override { return false; }
  void setLayout(log4cpp::Layout*) override {}

 protected:
  void _append(const log4cpp::LoggingEvent& event) override;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// A request that is only filled, never sent.
class UnsentWeb : public Web {
 public:
  explicit UnsentWeb(apr_pool_t* pool) : Web(pool) {}
  bool get() override { return true; }
  // The encoded parameters as they would be posted.
  std::string body() const {
    return std::string(getParams().begin(), getParams().size());
  }
};

// Each test runs in its own empty data directory, which is the working
// directory, with fresh variables ("secure.sign" true, as the application
// sets it) and an empty log capture, printed when the test fails.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string DataPath(const std::string& name) const;
  void WriteDataFile(const std::string& name, const std::string& contents);
  LogCapture& log();

 private:
  std::unique_ptr<vq_testing::ScopedTempDir> dataDir_;
  std::string previousDir_;
};

// Adds reference servers on 127.0.0.1 (documents and request logs kept
// outside the data directory) and the update thread over a fake
// application.
class EngineServerTest : public EngineTest {
 protected:
  void TearDown() override;

  VqserveProcess& StartServer(const std::vector<std::string>& args = {});
  // Writes a document for servers to serve; returns its path.
  std::string WriteDocument(const std::string& name, const std::string& xml);
  VqThread& StartThread(const std::vector<std::string>& servers);
  void StopThread();
  bool WaitForRequests(const VqserveProcess& server, const std::string& page,
                       std::size_t count);
  bool WaitForLog(const std::string& text);
  // Seconds until the next update as the thread last logged them; -1 when
  // it has not logged them yet.
  long LoggedSecondsToNextUpdate();

  std::shared_ptr<ExternalRecord> record_ = std::make_shared<ExternalRecord>();
  std::unique_ptr<VqThread> thread_;
  // Set once the constructor returned; for hooks run on the update thread.
  std::atomic<VqThread*> threadForHooks_{nullptr};

 private:
  vq_testing::ScopedTempDir serverDir_;
  std::vector<std::unique_ptr<VqserveProcess>> servers_;
};

}  // namespace engine_testing

#endif  // VQ_TESTS_ENGINE_ENGINE_FIXTURES_H_
