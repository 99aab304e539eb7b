#include "transact/file_backup.h"

#include <apr_file_io.h>
#include <log4cpp/Category.hh>

#include "support/apr_status.h"
#include "support/apr_utils.h"
#include "support/path.h"

std::string backupFilenameFor(const std::string& file) {
  path backup(file);
  backup.appendToName(".bak.tr");
  return backup.str();
}

bool makeFreshBackup(const std::string& file, log4cpp::Category& logger,
                     apr_pool_t* pool) {
  const std::string backup = backupFilenameFor(file);
  if (apr_file_exists(backup.c_str(), pool)) {
    const apr_status_t status = apr_file_remove(backup.c_str(), pool);
    if (logger.isDebugEnabled()) {
      logger.debug("Backup apr_file_remove(" + backup + ") returned " +
                   aprStatus(status));
    }
    if (status != APR_SUCCESS) return false;
  }
  if (!apr_file_exists(file.c_str(), pool)) return true;
  return apr_file_copy(file.c_str(), backup.c_str(), APR_FILE_SOURCE_PERMS,
                       pool) == APR_SUCCESS;
}
