#include "transact/file_backup.h"

#include <stdexcept>

#include "support/apr_status.h"
#include "support/path.h"
#include "transact/file_system.h"

std::string backupFilenameFor(const std::string& file) {
  path backup(file);
  backup.appendToName(".bak.tr");
  return backup.str();
}

bool removeIfPresent(FileSystem& fs, const std::string& name,
                     std::string* why) {
  FileSystem::Info info;
  apr_status_t status = fs.stat(name, &info);
  if (APR_STATUS_IS_ENOENT(status)) return true;
  if (status == APR_SUCCESS) status = fs.remove(name);
  if (status == APR_SUCCESS || APR_STATUS_IS_ENOENT(status)) return true;
  *why = "Cannot remove " + name + ": " + aprStatus(status);
  return false;
}

bool makeFreshBackup(FileSystem& fs, const std::string& file) {
  const std::string backup = backupFilenameFor(file);
  std::string why;
  if (!removeIfPresent(fs, backup, &why)) throw std::runtime_error(why);
  FileSystem::Info info;
  apr_status_t status = fs.stat(file, &info);
  if (APR_STATUS_IS_ENOENT(status)) return true;
  if (status == APR_SUCCESS && info.type == APR_DIR) return false;
  if (status == APR_SUCCESS) {
    status = fs.copy(file, backup, APR_FILE_SOURCE_PERMS);
  }
  if (status != APR_SUCCESS) {
    throw std::runtime_error("Cannot back up " + file + " to " + backup +
                             ": " + aprStatus(status));
  }
  return true;
}
