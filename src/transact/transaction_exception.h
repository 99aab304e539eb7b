#ifndef VQ_TRANSACT_TRANSACTION_EXCEPTION_H_
#define VQ_TRANSACT_TRANSACTION_EXCEPTION_H_

#include <stdexcept>
#include <string>

// A failure of the transaction engine: an invalid state transition, a pool
// that could not be made, or the errors collected while committing, rolling
// back or cleaning up. what() returns the text it was made with.
class TransactionException : public std::runtime_error {
 public:
  explicit TransactionException(const std::string& text)
      : std::runtime_error(text) {}
};

#endif  // VQ_TRANSACT_TRANSACTION_EXCEPTION_H_
