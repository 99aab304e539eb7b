#include "transact/sync_batch.h"

#include <map>

#include "support/apr_status.h"
#include "support/path.h"
#include "transact/file_system.h"

namespace {

// Counts a failed flush of `name`, keeping the reason of the first. A path
// that is gone counts as flushed: there is nothing of it left to lose.
int failure(apr_status_t status, const std::string& name, std::string* why) {
  if (status == APR_SUCCESS || APR_STATUS_IS_ENOENT(status)) return 0;
  if (why != nullptr && why->empty()) {
    *why = "Cannot flush " + name + ": " + aprStatus(status);
  }
  return 1;
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

int SyncBatch::flush(FileSystem& fs, std::string* why) {
  const int failures = files_.size() + directories_.size() > kPerPathLimit
                           ? flushFileSystems(fs, why)
                           : flushPathByPath(fs, why);
  files_.clear();
  directories_.clear();
  return failures;
}

int SyncBatch::flushPathByPath(FileSystem& fs, std::string* why) {
  int failures = 0;
  // File data first: a directory entry must never be durable before the
  // data it names.
  for (const std::string& file : files_) {
    failures += failure(fs.flushFile(file), file, why);
  }
  for (const std::string& directory : directories_) {
    failures += failure(fs.flushDirectory(directory), directory, why);
  }
  return failures;
}

int SyncBatch::flushFileSystems(FileSystem& fs, std::string* why) {
  // One existing path of each file system involved.
  std::map<apr_dev_t, std::string> devices;
  for (const std::set<std::string>* paths : {&files_, &directories_}) {
    for (const std::string& name : *paths) {
      FileSystem::Info info;
      const apr_status_t status = fs.stat(name, &info);
      if (status == APR_SUCCESS) {
        devices.emplace(info.device, name);
      } else if (!APR_STATUS_IS_ENOENT(status)) {
        // Without its device the path cannot be flushed with the others.
        return failure(status, name, why);
      }
    }
  }
  int failures = 0;
  for (const auto& device : devices) {
    failures += failure(fs.flushFileSystemOf(device.second), device.second,
                        why);
  }
  return failures;
}
