#include "testing/wait_for.h"

#include <thread>

namespace vq_testing {

bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= end) return predicate();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace vq_testing
