#ifndef VQ_TESTS_ENGINE_FAKE_THREAD_EXTERNAL_H_
#define VQ_TESTS_ENGINE_FAKE_THREAD_EXTERNAL_H_

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/thread_external_interface.h"
#include "app/transactional_external_interface.h"

namespace engine_testing {

// What the fake records; shared with the test because the update thread
// owns (and finally deletes) the fake itself.
struct ExternalRecord {
  std::atomic<bool> quitting{false};
  std::atomic<int> threadInits{0};
  std::atomic<int> threadQuits{0};
  std::atomic<int> terminates{0};
  std::atomic<int> serverListCalls{0};
  std::atomic<int> flushes{0};
  // When set, getMachineId raises VqException("machine id unknown").
  std::atomic<bool> failMachineId{false};

  std::mutex mutex;
  std::vector<std::string> servers;  // guarded by mutex
  // Run on the update thread inside getAllServers; guarded by mutex.
  std::function<void()> onServerList;

  void setServers(std::vector<std::string> list);
};

// The application side of the engine with fixed identifiers.
class FakeThreadExternal : public ThreadExternalInterface,
                           public TransactionalExternalInterface {
 public:
  explicit FakeThreadExternal(std::shared_ptr<ExternalRecord> record);

  TransactionalExternalInterface* getTransactionalExternalInterface() override {
    return this;
  }
  void flushLog() override { ++record_->flushes; }
  bool shouldQuit() override { return record_->quitting.load(); }
  const char* getBuild() override { return "b-17"; }
  std::vector<std::string>& getDefaultServers() override { return defaults_; }
  void getAllServers(std::vector<std::string>& out) override;
  long getFeedId() override { return 42; }
  long getAppId() override { return 7; }
  const char* getMachineId() override;
  const char* getPlatform() override { return "mac"; }
  const char* getOS() override { return "Linux test/1.0"; }
  void threadInit(VqThread*) override { ++record_->threadInits; }
  void threadQuit(VqThread*) override { ++record_->threadQuits; }
  void terminate() override { ++record_->terminates; }

  int launchProcess(std::string&, std::vector<std::string>&) override {
    return 0;
  }
  void setQuit() override { record_->quitting.store(true); }
  void setUpgrade() override {}

 private:
  std::shared_ptr<ExternalRecord> record_;
  std::vector<std::string> defaults_;
};

}  // namespace engine_testing

#endif  // VQ_TESTS_ENGINE_FAKE_THREAD_EXTERNAL_H_
