#include "testing/scoped_temp_dir.h"

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace vq_testing {

ScopedTempDir::ScopedTempDir() {
  const char* base = ::getenv("TMPDIR");
  path_ = std::string((base && *base) ? base : "/tmp") + "/vqtest.XXXXXX";
  if (::mkdtemp(path_.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed: " +
                             std::string(std::strerror(errno)));
  }
}

ScopedTempDir::~ScopedTempDir() {
  // Tests may leave read-only directories behind; restore owner access
  // first so that their contents can be removed.
  ::nftw(
      path_.c_str(),
      [](const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DNR)
          ::chmod(p, (st->st_mode & 07777) | 0700);
        return 0;
      },
      16, FTW_PHYS);
  // remove_all removes links themselves and never follows them.
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScopedTempDir::Append(const std::string& relative) const {
  return path_ + "/" + relative;
}

}  // namespace vq_testing
