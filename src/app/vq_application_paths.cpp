// Containment of paths in the data directory: the check that stands between
// names taken from action documents or local requests and the file system.

#include <apr_file_info.h>

#include <log4cpp/Category.hh>

#include "app/vq_application.h"
#include "support/apr_status.h"

namespace {

void logRefusal(const char* tested, int status) {
  log4cpp::Category& log = log4cpp::Category::getInstance(
      VqApplication::LOG_CATEGORY);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, log, status,
           "tested path [%s] is not beneath data directory", tested);
  } else {
    log.error(std::string("tested path [") + tested +
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

}  // namespace

std::string VqApplication::resolveInDataDir(const std::string& dataDir,
                                            const char* tested,
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
  return merged;
}

std::string VqApplication::pathInDataDir(const char* tested) {
  return resolveInDataDir(getEnv(DIR_DATA), tested, getPool());
}
