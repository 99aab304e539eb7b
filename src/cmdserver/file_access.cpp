#include "cmdserver/file_access.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "cmdserver/request_guard.h"

namespace cmdserver {
namespace {

// The private files that exist under fixed names and so can be compared by
// identity; other private names (dot-files) are refused by name alone.
const char* const kPrivateFiles[] = {kKeyFileName, "vq.log", "vq.log.1",
                                     ".transaction.dat"};

std::string realPathOf(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

}  // namespace

FileAccess::FileAccess(const std::string& dataDir)
    : dataDir_(dataDir), realDataDir_(realPathOf(dataDir)) {}

FileAccess::Decision FileAccess::decide(const std::string& path) const {
  Decision decision;
  const std::string normalized = normalizePath(path);
  if (namesPrivateFile(normalized)) {
    decision.verdict = Verdict::kPrivate;
    return decision;
  }
  if (realDataDir_.empty()) return decision;
  const std::string real = realPathOf(realDataDir_ + normalized);
  // Inside means below the directory: the directory itself is no file.
  if (real.size() <= realDataDir_.size() + 1 ||
      real.compare(0, realDataDir_.size(), realDataDir_) != 0 ||
      (realDataDir_ != "/" && real[realDataDir_.size()] != '/')) {
    return decision;
  }
  if (namesPrivateFile(real.substr(realDataDir_.size()))) {
    decision.verdict = Verdict::kPrivate;
    return decision;
  }
  struct stat info;
  if (stat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return decision;
  }
  if (info.st_nlink > 1 && isPrivateFileByIdentity(info.st_dev, info.st_ino)) {
    decision.verdict = Verdict::kPrivate;
    return decision;
  }
  decision.verdict = Verdict::kServe;
  decision.realPath = real;
  return decision;
}

bool FileAccess::isPrivateFileByIdentity(dev_t device, ino_t inode) const {
  for (const char* name : kPrivateFiles) {
    struct stat info;
    if (stat((realDataDir_ + "/" + name).c_str(), &info) == 0 &&
        info.st_dev == device && info.st_ino == inode) {
      return true;
    }
  }
  return false;
}

}  // namespace cmdserver
