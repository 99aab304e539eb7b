#ifndef VQ_TESTING_WAIT_FOR_H_
#define VQ_TESTING_WAIT_FOR_H_

#include <chrono>
#include <functional>

namespace vq_testing {

// Polls `predicate` (first at once, then every few milliseconds) until it
// returns true or `deadline` has passed since the call. Returns the last
// result, so a test can write ASSERT_TRUE(WaitFor(...)).
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace vq_testing

#endif  // VQ_TESTING_WAIT_FOR_H_
