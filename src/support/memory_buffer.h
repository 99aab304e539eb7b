#ifndef VQ_SUPPORT_MEMORY_BUFFER_H_
#define VQ_SUPPORT_MEMORY_BUFFER_H_

#include <apr_file_io.h>
#include <apr_pools.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "support/apr_pool.h"
#include "support/apr_utils.h"

// A growable buffer of one-byte elements (char or unsigned char) used for
// file contents, decoded signatures and web data.
//
// Growth is geometric: alloc(n) makes room for 2 * n elements, so appending
// in many small pieces costs amortised constant time per element. The
// element after end() is spare room, not contents; nullTerminate() writes a
// 0 there so that a char buffer can be read as NUL-terminated text.
//
// Allocation failure (or a size beyond what an int capacity can describe)
// throws std::bad_alloc and leaves the buffer as it was.
template <typename T>
class MemoryBuffer {
  static_assert(sizeof(T) == 1, "MemoryBuffer holds bytes");

 public:
  // Empty, with room for 8,192 elements.
  explicit MemoryBuffer(apr_pool_t* pool) : pool_(pool) { alloc(4096); }
  // Empty, with room for exactly `capacity` elements (at least 1).
  MemoryBuffer(apr_pool_t* pool, int capacity) : pool_(pool) {
    replaceStorage(capacity < 1 ? 1 : static_cast<std::size_t>(capacity));
  }
  virtual ~MemoryBuffer() = default;

  MemoryBuffer(const MemoryBuffer&) = delete;
  MemoryBuffer& operator=(const MemoryBuffer&) = delete;

  T* begin() { return buffer_.get(); }
  const T* begin() const { return buffer_.get(); }
  T* end() { return last_; }
  const T* end() const { return last_; }
  std::size_t size() const { return static_cast<std::size_t>(last_ - begin()); }
  bool empty() const { return last_ == begin(); }
  int capacity() const { return capacity_; }
  // Number of elements that fit after end() without growing.
  std::size_t available() const {
    return static_cast<std::size_t>(capacity_) - size();
  }
  apr_pool_t* pool() const { return pool_; }
  std::string str() const {
    return std::string(reinterpret_cast<const char*>(begin()), size());
  }

  // Replaces the storage by one of 2 * n elements (never less than the
  // contents plus one), keeping the contents.
  void alloc(long long n) {
    if (n > INT_MAX / 2)
      throw std::bad_alloc();
    long long wanted = 2 * (n < 0 ? 0 : n);
    const long long needed = static_cast<long long>(size()) + 1;
    if (wanted < needed)
      wanted = needed;
    if (wanted > INT_MAX)
      throw std::bad_alloc();
    replaceStorage(static_cast<std::size_t>(wanted));
  }

  // Ensures at least n + 1 free elements (room for n and a terminator).
  void allocAvailable(long long n) {
    if (n >= INT_MAX)
      throw std::bad_alloc();
    if (static_cast<long long>(available()) < n + 1) {
      alloc(static_cast<long long>(size()) + n);
    }
  }

  bool append(T value) {
    if (available() == 0)
      alloc(capacity_);
    *last_++ = value;
    return true;
  }

  unsigned long append(const T* data, unsigned long n) {
    if (n == 0)
      return 0;
    if (static_cast<unsigned long long>(size()) + n >
        static_cast<unsigned long long>(capacity_)) {
      if (n > static_cast<unsigned long>(INT_MAX))
        throw std::bad_alloc();
      alloc(static_cast<long long>(size()) + static_cast<long long>(n));
    }
    std::memcpy(last_, data, n);
    last_ += n;
    return n;
  }

  // Removes the last element; false when empty.
  bool popOne() {
    if (empty())
      return false;
    --last_;
    return true;
  }

  // Empties the buffer, keeping its storage.
  void clear() { last_ = begin(); }

  // Writes a 0 just after the contents (not counted in size()).
  void nullTerminate() {
    allocAvailable(1);
    *last_ = 0;
  }

  // Counts `n` elements written directly into the free room after end() as
  // contents. Throws std::length_error when `n` exceeds available().
  void extend(std::size_t n) {
    if (n > available())
      throw std::length_error("MemoryBuffer::extend beyond capacity");
    last_ += n;
  }

  // Appends the whole file and NUL-terminates. A missing or unreadable file
  // changes nothing; a read error keeps what was read before it.
  void readFile(const char* path) { readFileFrom(path, -1); }

  // Appends at most the last `maxBytes` bytes of the file (all of it when it
  // is shorter) and NUL-terminates. A missing file changes nothing.
  void readFile(const char* path, long long maxBytes) {
    readFileFrom(path, maxBytes < 0 ? 0 : maxBytes);
  }

 private:
  static constexpr std::size_t kReadChunk = 8192;

  // Callers guarantee elements > size(); the clamp only tells the compiler
  // that the copy stays within the new storage.
  void replaceStorage(std::size_t elements) {
    std::unique_ptr<T[]> fresh(new T[elements]);
    const std::size_t used = buffer_ ? std::min(size(), elements) : 0;
    if (used != 0)
      std::memcpy(fresh.get(), buffer_.get(), used);
    buffer_ = std::move(fresh);
    last_ = buffer_.get() + used;
    capacity_ = static_cast<int>(elements);
  }

  // maxBytes < 0 reads the whole file. I/O failures end the read quietly,
  // like end of file: callers use this for best-effort log tails and
  // settings files. The file is opened in a private sub-pool (whose
  // destruction closes it) so that repeated reads do not grow the caller's
  // pool.
  void readFileFrom(const char* path, long long maxBytes) {
    apr::Pool scratch(pool_);
    if (!apr_file_exists(path, scratch))
      return;
    apr_file_t* file = nullptr;
    if (apr_file_open(&file, path, APR_FOPEN_READ | APR_FOPEN_BINARY,
                      APR_OS_DEFAULT, scratch) != APR_SUCCESS) {
      return;
    }
    if (maxBytes >= 0) {
      const long long fileSize = apr_file_size(path, scratch);
      if (maxBytes < fileSize) {
        apr_off_t offset = static_cast<apr_off_t>(fileSize - maxBytes);
        if (apr_file_seek(file, APR_SET, &offset) != APR_SUCCESS)
          return;
      }
      // Room for the whole tail at once (at least one read block), sized by
      // what the file holds so that a generous limit costs no memory.
      const long long expected = std::min(maxBytes, std::max(fileSize, 0LL));
      allocAvailable(std::max(expected, static_cast<long long>(kReadChunk)));
    }
    // A tail read stops after maxBytes even when the file grows meanwhile
    // (the log being tailed is still written to by other threads).
    long long remaining = maxBytes;
    for (;;) {
      if (available() < kReadChunk)
        allocAvailable(kReadChunk);
      apr_size_t want = available() - 1;  // keep room for the terminator
      if (maxBytes >= 0) {
        if (remaining <= 0)
          break;
        if (static_cast<long long>(want) > remaining) {
          want = static_cast<apr_size_t>(remaining);
        }
      }
      const apr_status_t status = apr_file_read(file, last_, &want);
      last_ += want;
      remaining -= static_cast<long long>(want);
      if (status != APR_SUCCESS || want == 0)
        break;
    }
    nullTerminate();
  }

  std::unique_ptr<T[]> buffer_;
  int capacity_ = 0;
  T* last_ = nullptr;
  apr_pool_t* pool_;
};

#endif  // VQ_SUPPORT_MEMORY_BUFFER_H_
