#ifndef VQ_TESTS_CMDSERVER_FAKE_COMMAND_TARGET_H_
#define VQ_TESTS_CMDSERVER_FAKE_COMMAND_TARGET_H_

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "cmdserver/command_target.h"

namespace cmdserver_testing {

// Records what the server asks of the application; safe on several threads.
// A variable read enters a missing name, as the application does.
class FakeCommandTarget : public CommandTarget {
 public:
  explicit FakeCommandTarget(const std::string& dataDir)
      : env_{{"dir.data", dataDir}, {"app.name", "Demo"}} {}

  std::string applicationXml() const override { return "<application />"; }
  void updateNow() override { ++wakes; }
  void setQuit(bool quit) override { quitting = quit; }
  std::string getEnv(const std::string& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return env_[name];
  }
  void setEnv(const std::string& name, const std::string& value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    env_[name] = value;
  }
  std::map<std::string, std::string> getEnvMap() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return env_;
  }
  // Accepts relative paths without "..".
  std::string pathInDataDir(const std::string& tested) override {
    if (tested.empty() || tested[0] == '/' ||
        tested.find("..") != std::string::npos) {
      return "";
    }
    return getEnv("dir.data") + "/" + tested;
  }
  // Fails on anything that does not start with "<vq".
  void processTransactions(const std::string& xml) override {
    std::lock_guard<std::mutex> lock(mutex_);
    documents.push_back(xml);
    if (xml.compare(0, 3, "<vq") != 0) throw std::runtime_error("bad document");
  }
  void setStartItem() override { ++startItems; }
  void launchSwf() override { ++swfLaunches; }
  int launchProcess(std::string& exe,
                    std::vector<std::string>& args) override {
    std::lock_guard<std::mutex> lock(mutex_);
    launches.push_back(args);
    launches.back().insert(launches.back().begin(), exe);
    return 0;
  }

  std::atomic<int> wakes{0};
  std::atomic<bool> quitting{false};
  std::atomic<int> startItems{0};
  std::atomic<int> swfLaunches{0};
  // Read these only once the requests that fill them have been answered.
  std::vector<std::string> documents;
  std::vector<std::vector<std::string>> launches;

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> env_;
};

}  // namespace cmdserver_testing

#endif  // VQ_TESTS_CMDSERVER_FAKE_COMMAND_TARGET_H_
