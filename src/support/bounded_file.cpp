#include "support/bounded_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace vq_support {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

FileReadStatus fail(FileReadStatus status, std::string* why,
                    const std::string& text) {
  if (why) *why = text;
  return status;
}

}  // namespace

FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes,
                               std::string* contents, std::string* why,
                               SymbolicLinks links) {
  contents->clear();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
  // writer. Links are followed unless refused: settings and included files
  // may well be links, and what they lead to is checked below.
  const int noFollow = links == SymbolicLinks::kRefuse ? O_NOFOLLOW : 0;
  const Descriptor file(open(
      path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | noFollow));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      return fail(FileReadStatus::kMissing, why, "cannot open " + path);
    }
    return fail(FileReadStatus::kFailed, why,
                "cannot open " + path + ": " + std::strerror(error));
  }
  struct stat info;
  if (fstat(file.get(), &info) != 0) {
    return fail(FileReadStatus::kFailed, why,
                "cannot examine " + path + ": " + std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) {
    return fail(FileReadStatus::kDirectory, why, path + " is a directory");
  }
  if (!S_ISREG(info.st_mode)) {
    return fail(FileReadStatus::kNotRegular, why,
                path + " is not a regular file");
  }
  const std::string tooLarge = path + " is larger than " +
                               std::to_string(maxBytes) + " bytes";
  if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
    return fail(FileReadStatus::kTooLarge, why, tooLarge);
  }
  contents->resize(static_cast<std::size_t>(info.st_size));
  std::size_t used = 0;
  for (;;) {
    // One byte of room beyond the bound tells a file that grew too far.
    if (used == contents->size()) {
      if (used > maxBytes) break;
      const std::size_t growth = used < 4096 ? 4096 : used / 2;
      contents->resize(growth > maxBytes + 1 - used ? maxBytes + 1
                                                     : used + growth);
    }
    const ssize_t got =
        read(file.get(), &(*contents)[used], contents->size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      contents->clear();
      return fail(FileReadStatus::kFailed, why,
                  "cannot read " + path + ": " + std::strerror(error));
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  if (used > maxBytes) {
    contents->clear();
    contents->shrink_to_fit();
    return fail(FileReadStatus::kTooLarge, why, tooLarge);
  }
  contents->resize(used);
  return FileReadStatus::kRead;
}

void normalizeLineEnds(std::string& text) {
  const std::size_t first = text.find('\r');
  if (first == std::string::npos) return;
  std::size_t out = first;
  for (std::size_t in = first; in < text.size(); ++in) {
    if (text[in] == '\r') {
      text[out++] = '\n';
      if (in + 1 < text.size() && text[in + 1] == '\n') ++in;
    } else {
      text[out++] = text[in];
    }
  }
  text.resize(out);
}

}  // namespace vq_support
