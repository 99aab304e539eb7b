#include "support/file_permission_match.h"

#include <apr_file_info.h>
#include <apr_file_io.h>
#include <apr_fnmatch.h>
#include <tinyxml.h>

#include <cstring>
#include <stdexcept>

#include "support/apr_permissions.h"
#include "support/apr_pool.h"
#include "support/apr_status.h"

namespace {

// Appended to the error texts so that a report names the failing step.
constexpr char kStatLocation[] = " (file_permission_match.cpp: stat)";
constexpr char kSetLocation[] = " (file_permission_match.cpp: perms_set)";

int FlagsFor(const char* caseMode) {
  int flags = APR_FNM_PERIOD;
  if (caseMode != nullptr && std::strcmp(caseMode, "blind") == 0) {
    flags |= APR_FNM_CASE_BLIND;
  }
  return flags;
}

const char* RequiredAttribute(const TiXmlElement* match,
                              const char* name,
                              const char* error) {
  const char* value = match ? match->Attribute(name) : nullptr;
  if (value == nullptr)
    throw std::runtime_error(error);
  return value;
}

}  // namespace

FilePermissionMatch::FilePermissionMatch(const char* pattern,
                                         const char* perm,
                                         const char* caseMode,
                                         apr_pool_t* pool)
    : pool_(pool),
      pattern_(pattern ? pattern : ""),
      perm_(perm ? perm : ""),
      flags_(FlagsFor(caseMode)) {}

FilePermissionMatch::FilePermissionMatch(const TiXmlElement* match,
                                         apr_pool_t* pool)
    : FilePermissionMatch(
          RequiredAttribute(
              match,
              "pattern",
              "No pattern attribute in file permission match element."),
          RequiredAttribute(
              match,
              "perm",
              "No perm attribute in file permission match element."),
          match->Attribute("case"),
          pool) {}

bool FilePermissionMatch::matchAndSet(const char* path) const {
  if (path == nullptr ||
      apr_fnmatch(pattern_.c_str(), path, flags_) != APR_SUCCESS) {
    return false;
  }
  apr::Pool scratch(pool_);
  apr_finfo_t info;
  std::memset(&info, 0, sizeof(info));
  apr_status_t status =
      apr_stat(&info, path, APR_FINFO_TYPE | APR_FINFO_PROT, scratch);
  const apr_int32_t needed = APR_FINFO_TYPE | APR_FINFO_PROT;
  if (status != APR_SUCCESS && (info.valid & needed) != needed) {
    throw std::runtime_error(
        std::string("Error obtaining file information (apr_stat) of ") + path +
        " APR: " + aprStatus(status) + kStatLocation);
  }
  const int perms =
      apr_permstr(perm_.c_str(), info.protection, info.filetype == APR_DIR);
  status = apr_file_perms_set(path, static_cast<apr_fileperms_t>(perms));
  if (status != APR_SUCCESS && !APR_STATUS_IS_ENOTIMPL(status)) {
    throw std::runtime_error(std::string("Error setting permissions of ") +
                             path + " APR: " + aprStatus(status) +
                             kSetLocation);
  }
  return true;
}
