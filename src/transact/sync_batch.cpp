#include "transact/sync_batch.h"

#include <apr_errno.h>
#include <apr_file_info.h>
#include <apr_file_io.h>

#include <map>

#include "support/path.h"
#include "host/file_system_sync.h"

namespace {

// Opens `name` read-only and flushes it. A directory is opened the same way
// (Linux allows fsync on a read-only directory descriptor). A path that is
// gone counts as success.
bool syncPath(const std::string& name, bool dataOnly, apr_pool_t* pool) {
  apr_file_t* file = nullptr;
  apr_status_t status =
      apr_file_open(&file, name.c_str(), APR_FOPEN_READ, APR_OS_DEFAULT, pool);
  if (status != APR_SUCCESS) return APR_STATUS_IS_ENOENT(status);
  status = dataOnly ? apr_file_datasync(file) : apr_file_sync(file);
  apr_file_close(file);
  return status == APR_SUCCESS;
}

}  // namespace

void SyncBatch::addFile(const std::string& file) {
  if (!file.empty()) files_.insert(file);
}

void SyncBatch::addDirectory(const std::string& directory) {
  directories_.insert(directory.empty() ? std::string(".") : directory);
}

void SyncBatch::addDirectoryOf(const std::string& file) {
  if (!file.empty()) directories_.insert(directoryOf(file));
}

std::string SyncBatch::directoryOf(const std::string& file) {
  if (file.find('/') == std::string::npos) return ".";
  std::string parent = path(file).parent();
  return parent.empty() ? std::string("/") : parent;
}

int SyncBatch::flush(apr_pool_t* pool) {
  apr_pool_t* scratch = nullptr;
  if (apr_pool_create(&scratch, pool) != APR_SUCCESS) {
    return static_cast<int>(files_.size() + directories_.size());
  }
  const int failures = files_.size() + directories_.size() > kPerPathLimit
                           ? flushFileSystems(scratch)
                           : flushPathByPath(scratch);
  apr_pool_destroy(scratch);
  files_.clear();
  directories_.clear();
  return failures;
}

int SyncBatch::flushPathByPath(apr_pool_t* pool) {
  int failures = 0;
  // File data first: a directory entry must never be durable before the
  // data it names.
  for (const std::string& file : files_) {
    if (!syncPath(file, true, pool)) ++failures;
  }
  for (const std::string& directory : directories_) {
    if (!syncPath(directory, false, pool)) ++failures;
  }
  return failures;
}

int SyncBatch::flushFileSystems(apr_pool_t* pool) {
  // One existing path of each file system involved.
  std::map<apr_dev_t, std::string> devices;
  for (const std::set<std::string>* paths : {&files_, &directories_}) {
    for (const std::string& name : *paths) {
      apr_finfo_t info;
      if (apr_stat(&info, name.c_str(), APR_FINFO_DEV, pool) == APR_SUCCESS) {
        devices.emplace(info.device, name);
      }
    }
  }
  int failures = 0;
  for (const auto& device : devices) {
    if (!host::syncFileSystemContaining(device.second)) ++failures;
  }
  return failures;
}
