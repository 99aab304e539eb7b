#include "transact/transaction_mutex.h"

void TransactionMutex::lock() {
  std::unique_lock<std::mutex> guard(mutex_);
  released_.wait(guard, [this] { return !taken_; });
  taken_ = true;
}

bool TransactionMutex::tryLock() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (taken_) return false;
  taken_ = true;
  return true;
}

void TransactionMutex::unlock() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    taken_ = false;
  }
  released_.notify_one();
}

bool TransactionMutex::isLocked() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return taken_;
}
