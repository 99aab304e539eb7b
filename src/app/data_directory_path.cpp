// Containment of paths in the data directory: the check that stands between
// names taken from action documents or local requests and the file system.

#include "app/data_directory_path.h"

#include <apr_file_info.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <log4cpp/Category.hh>

#include "app/application_log.h"
#include "support/apr_pool.h"
#include "support/apr_status.h"
#include "support/log_text.h"

namespace {

void logRefusal(const char* tested, int status) {
  log4cpp::Category& log = log4cpp::Category::getInstance(
      kApplicationLogCategory);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, log, status,
           "tested path [%s] is not beneath data directory",
           vq_support::LogSafe(tested).c_str());
  } else {
    log.error("tested path [" + vq_support::LogSafe(tested) +
              "] is not beneath data directory");
  }
}

// True when `candidate` is `base` or lies below it. A plain prefix test would
// let /x/database pass for the base /x/data, so the prefix must end at a
// separator.
bool isWithin(const std::string& candidate, std::string base) {
  while (!base.empty() && base.back() == '/') base.pop_back();
  if (candidate == base) return true;
  if (base.empty()) return !candidate.empty() && candidate[0] == '/';
  return candidate.size() > base.size() &&
         candidate.compare(0, base.size(), base) == 0 &&
         candidate[base.size()] == '/';
}

// `path` (absolute, normalized) with the symbolic links of its longest
// existing leading part resolved and the rest appended as written. False
// when a link on the way cannot be resolved (dangling, looping): what it
// would reach is unknown, so the path is not to be trusted.
bool resolveExistingPart(const std::string& path, std::string* resolved) {
  std::string existing = path;
  std::string rest;
  for (;;) {
    char real[PATH_MAX];
    if (realpath(existing.c_str(), real) != nullptr) {
      *resolved = (rest.empty() || std::string(real) != "/")
                      ? std::string(real) + rest
                      : rest;
      return true;
    }
    struct stat info;
    if ((errno != ENOENT && errno != ENOTDIR) ||
        lstat(existing.c_str(), &info) == 0) {
      return false;
    }
    const std::size_t slash = existing.rfind('/');
    if (slash == std::string::npos) return false;
    rest = existing.substr(slash) + rest;
    existing = slash == 0 ? "/" : existing.substr(0, slash);
  }
}

}  // namespace

std::string resolveInDataDir(const std::string& dataDir, const char* tested,
                             apr_pool_t* pool) {
  if (tested == nullptr) tested = "";
  // Without a data directory nothing can be beneath it.
  if (dataDir.empty()) {
    logRefusal(tested, APR_SUCCESS);
    return std::string();
  }
  // Compare against the data directory in the same normal form as the merge
  // result (no doubled "/", no "." or ".." steps), e.g. for a HOME that ends
  // in "/".
  char* canonical = nullptr;
  std::string base = dataDir;
  if (apr_filepath_merge(&canonical, "", dataDir.c_str(),
                         APR_FILEPATH_TRUENAME, pool) == APR_SUCCESS) {
    base = canonical;
  }
  const bool absolute = tested[0] == '/' || tested[0] == '\\';
  char* merged = nullptr;
  const apr_status_t status = apr_filepath_merge(
      &merged, absolute ? "" : base.c_str(), tested,
      APR_FILEPATH_NOTABOVEROOT | APR_FILEPATH_NOTRELATIVE |
          APR_FILEPATH_TRUENAME,
      pool);
  if (status != APR_SUCCESS) {
    logRefusal(tested, status);
    return std::string();
  }
  // A relative path merged below the root cannot climb out of it; checking it
  // too costs nothing.
  if (!isWithin(merged, base)) {
    logRefusal(tested, APR_SUCCESS);
    return std::string();
  }
  // The text is inside; the file system must agree, or a link inside the
  // data directory would lead the caller elsewhere.
  std::string realBase;
  std::string realMerged;
  if (!resolveExistingPart(base, &realBase) ||
      !resolveExistingPart(merged, &realMerged) ||
      !isWithin(realMerged, realBase)) {
    logRefusal(tested, APR_SUCCESS);
    return std::string();
  }
  return merged;
}
