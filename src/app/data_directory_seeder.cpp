#include "app/data_directory_seeder.h"

#include <apr_file_info.h>
#include <apr_file_io.h>

#include <iostream>
#include <stdexcept>

#include "host/file_system_sync.h"
#include "support/apr_status.h"
#include "support/apr_utils.h"
#include "support/file_permission_match_set.h"
#include "support/path.h"

namespace {

// Removes what an earlier seeding left in `temporary` (a failed copy, or a
// machine that went down half way); nothing else may be using it, since the
// caller holds the data directory's lock.
void removeLeftover(const std::string& temporary, apr_pool_t* pool) {
  if (apr_dir_exists(temporary.c_str(), pool)) {
    apr_dir_remove_recursive(temporary.c_str(), pool);
  }
}

[[noreturn]] void fail(const std::string& message,
                       std::vector<std::string>* messages) {
  std::cerr << message;
  if (message.back() != '\n') std::cerr << std::endl;
  messages->push_back(message);
  throw std::runtime_error(message);
}

}  // namespace

std::string seedingDirectoryFor(const std::string& dataDir) {
  return dataDir + ".seeding";
}

void seedDataDirectory(const std::string& initialData,
                       const std::string& dataDir, apr_pool_t* pool,
                       std::vector<std::string>* messages) {
  messages->push_back("Creating data directory : " + dataDir);
  const std::string temporary = seedingDirectoryFor(dataDir);
  removeLeftover(temporary, pool);
  const apr_fileperms_t ownerOnly =
      APR_FPROT_UREAD | APR_FPROT_UWRITE | APR_FPROT_UEXECUTE;
  // The parents are made as the data directory itself would have been;
  // only the data directory waits until it is whole.
  const std::string parent = path(dataDir).parent();
  if ((!parent.empty() &&
       apr_dir_make_recursive(parent.c_str(), ownerOnly, pool) !=
           APR_SUCCESS) ||
      apr_dir_make(temporary.c_str(), ownerOnly, pool) != APR_SUCCESS) {
    fail("Unable to create data directory: " + dataDir + "\n", messages);
  }

  messages->push_back("Copying data directory " + initialData + " to " +
                      dataDir);
  try {
    // Owner read and write; the owner's execute bit is kept as the
    // installation has it ("."), so directories stay searchable and the
    // programs of a delivered bundle stay runnable. Group and others get
    // nothing.
    FilePermissionMatchSet rules("rw.------", pool);
    apr_copy_directory(initialData.c_str(), temporary.c_str(),
                       &apr_dirWalkPost_setPermissions, &rules, pool);
    // Whole on disk before it takes the data directory's name, and the name
    // on disk before anything relies on it.
    if (!host::syncFileSystemContaining(temporary)) {
      throw std::runtime_error("cannot flush " + temporary);
    }
    const apr_status_t status =
        apr_file_rename(temporary.c_str(), dataDir.c_str(), pool);
    if (status != APR_SUCCESS) {
      throw std::runtime_error("cannot rename " + temporary + ": " +
                               aprStatus(status));
    }
    host::syncFileSystemContaining(dataDir);
  } catch (const std::exception& error) {
    removeLeftover(temporary, pool);
    fail("ERR: copying of data directory " + initialData + " to " + dataDir +
             " failed with exception " + error.what(),
         messages);
  }
}
