#include "app/data_directory_seeder.h"

#include <apr_file_info.h>
#include <apr_file_io.h>

#include <iostream>
#include <stdexcept>

#include "support/apr_utils.h"
#include "support/file_permission_match_set.h"

void seedDataDirectory(const std::string& initialData,
                       const std::string& dataDir, apr_pool_t* pool,
                       std::vector<std::string>* messages) {
  messages->push_back("Creating data directory : " + dataDir);
  if (apr_dir_make_recursive(dataDir.c_str(), APR_FPROT_UREAD |
                                                  APR_FPROT_UWRITE |
                                                  APR_FPROT_UEXECUTE,
                             pool) != APR_SUCCESS) {
    const std::string message =
        "Unable to create data directory: " + dataDir + "\n";
    std::cerr << message;
    messages->push_back(message);
    throw std::runtime_error(message);
  }

  messages->push_back("Copying data directory " + initialData + " to " +
                      dataDir);
  try {
    // Owner read and write; the owner's execute bit is kept as the
    // installation has it ("."), so directories stay searchable and the
    // programs of a delivered bundle stay runnable. Group and others get
    // nothing.
    FilePermissionMatchSet rules("rw.------", pool);
    apr_copy_directory(initialData.c_str(), dataDir.c_str(),
                       &apr_dirWalkPost_setPermissions, &rules, pool);
  } catch (const std::exception& error) {
    const std::string message = "ERR: copying of data directory " +
                                initialData + " to " + dataDir +
                                " failed with exception " + error.what();
    std::cerr << message << std::endl;
    messages->push_back(message);
    throw std::runtime_error(message);
  }
}
