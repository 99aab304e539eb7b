#include "cmdserver/request_gate.h"

namespace cmdserver {

bool RequestGate::enter() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  ++running_;
  return true;
}

void RequestGate::leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (--running_ == 0) idle_.notify_all();
}

void RequestGate::close() {
  std::unique_lock<std::mutex> lock(mutex_);
  closed_ = true;
  idle_.wait(lock, [this] { return running_ == 0; });
}

}  // namespace cmdserver
