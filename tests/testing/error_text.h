#ifndef VQ_TESTS_TESTING_ERROR_TEXT_H_
#define VQ_TESTS_TESTING_ERROR_TEXT_H_

#include <exception>
#include <string>

// What `run` throws, or "no exception" when it returns.
template <typename F>
std::string ErrorText(F run) {
  try {
    run();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

#endif  // VQ_TESTS_TESTING_ERROR_TEXT_H_
