#include "testing/scoped_temp_dir.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace vq_testing {
namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  // Depth-first and without following links (FTW_DEPTH | FTW_PHYS), so a
  // link is removed itself and directories are empty when they are reached.
  if (::remove(path) != 0)
    std::perror(path);
  return 0;
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  const char* base = ::getenv("TMPDIR");
  std::string pattern = (base && *base) ? base : "/tmp";
  pattern += "/vqtest.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed: " +
                             std::string(std::strerror(errno)));
  }
  path_ = buffer.data();
}

ScopedTempDir::~ScopedTempDir() {
  // Tests may leave read-only directories behind; restore owner access
  // first so that their contents can be removed.
  ::nftw(
      path_.c_str(),
      [](const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DNR) {
          ::chmod(p, (st->st_mode & 07777) | 0700);
        }
        return 0;
      },
      16, FTW_PHYS);
  ::nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ScopedTempDir::Append(const std::string& relative) const {
  return path_ + "/" + relative;
}

}  // namespace vq_testing
