#include "host/file_copy.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

// Closes a descriptor on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close (which can lose data) is seen.
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// The kernel copies within the file system (or across, on newer kernels);
// false when it cannot, before anything was copied, so the caller falls back.
// `*error` is set when it failed after starting.
bool copyInKernel(int in, int out, off_t size, int* error) {
  off_t done = 0;
  while (done < size) {
    const ssize_t copied = ::copy_file_range(
        in, nullptr, out, nullptr, static_cast<size_t>(size - done), 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      if (done == 0 && (errno == EXDEV || errno == EINVAL ||
                        errno == ENOSYS || errno == EOPNOTSUPP)) {
        return false;
      }
      *error = errno;
      return true;
    }
    if (copied == 0) break;  // the source shrank meanwhile
    done += copied;
  }
  return true;
}

int copyByReading(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof(buffer));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    for (ssize_t put = 0; put < got;) {
      const ssize_t n = ::write(out, buffer + put, static_cast<size_t>(got - put));
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      put += n;
    }
  }
}

}  // namespace

int copyFile(const std::string& from, const std::string& to, mode_t mode) {
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return errno;
  struct stat source;
  if (::fstat(in.get(), &source) != 0) return errno;
  if (!S_ISREG(source.st_mode)) return EINVAL;
  if (mode == kSourceMode) mode = source.st_mode & 07777;
  Descriptor out(
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (out.get() < 0) return errno;
  int error = 0;
  if (::ioctl(out.get(), FICLONE, in.get()) != 0 &&
      !copyInKernel(in.get(), out.get(), source.st_size, &error)) {
    error = copyByReading(in.get(), out.get());
  }
  const int closed = out.close();
  return error != 0 ? error : closed;
}

}  // namespace host
