#ifndef VQ_TRANSACT_TRANSACTION_MUTEX_H_
#define VQ_TRANSACT_TRANSACTION_MUTEX_H_

#include <condition_variable>
#include <mutex>

// The process-wide "one transaction at a time" lock. It is not tied to a
// thread: it may be released by a thread other than the one that took it,
// and it is not re-entrant (taking it twice without a release blocks for
// ever). A transaction can stay open for the length of a download, so
// waiters sleep on a condition variable rather than spin.
class TransactionMutex {
 public:
  TransactionMutex() = default;
  TransactionMutex(const TransactionMutex&) = delete;
  TransactionMutex& operator=(const TransactionMutex&) = delete;

  // Blocks until the lock is free, then takes it.
  void lock();
  // Takes the lock when it is free; never blocks. True when taken.
  bool tryLock();
  // Frees the lock and wakes one waiter. Freeing a free lock does nothing.
  void unlock();
  bool isLocked() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool taken_ = false;
};

#endif  // VQ_TRANSACT_TRANSACTION_MUTEX_H_
