#include "engine/fake_thread_external.h"

#include "support/vq_exception.h"

namespace engine_testing {

void ExternalRecord::setServers(std::vector<std::string> list) {
  std::lock_guard<std::mutex> lock(mutex);
  servers = std::move(list);
}

FakeThreadExternal::FakeThreadExternal(std::shared_ptr<ExternalRecord> record)
    : record_(std::move(record)) {}

void FakeThreadExternal::getAllServers(std::vector<std::string>& out) {
  ++record_->serverListCalls;
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(record_->mutex);
    out = record_->servers;
    hook = record_->onServerList;
  }
  if (hook) hook();
}

const char* FakeThreadExternal::getMachineId() {
  if (record_->failMachineId.load()) throw VqException("machine id unknown");
  return "00:11:22:33:44:55";
}

}  // namespace engine_testing
