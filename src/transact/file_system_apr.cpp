// The real file system of the transaction machinery: APR for files and
// directories, the host layer for flushing a whole file system and for
// copies that share blocks where the file system can.
#include <apr_file_io.h>

#include <cerrno>

#include "host/file_copy.h"
#include "host/file_system_sync.h"
#include "support/apr_pool.h"
#include "support/apr_utils.h"
#include "transact/file_system.h"

namespace {

// APR permission bits (one hex digit per class) as a Unix mode (one octal
// digit per class).
mode_t unixMode(apr_fileperms_t permissions) {
  return static_cast<mode_t>(((permissions >> 8) & 7) << 6 |
                             ((permissions >> 4) & 7) << 3 |
                             (permissions & 7));
}

// Opens `name` read-only and flushes it: its data (a file) or its entries (a
// directory; Linux allows fsync on a read-only directory descriptor).
apr_status_t syncPath(const std::string& name, bool dataOnly) {
  apr::Pool pool;
  apr_file_t* file = nullptr;
  apr_status_t status =
      apr_file_open(&file, name.c_str(), APR_FOPEN_READ, APR_OS_DEFAULT, pool);
  if (status != APR_SUCCESS) return status;
  status = dataOnly ? apr_file_datasync(file) : apr_file_sync(file);
  const apr_status_t closed = apr_file_close(file);
  return status != APR_SUCCESS ? status : closed;
}

apr_status_t writeOpen(const std::string& name, apr_int32_t flags,
                       apr_fileperms_t permissions, const std::string& bytes) {
  apr::Pool pool;
  apr_file_t* file = nullptr;
  apr_status_t status = apr_file_open(&file, name.c_str(),
                                      flags | APR_FOPEN_WRITE | APR_FOPEN_BINARY,
                                      permissions, pool);
  if (status != APR_SUCCESS) return status;
  apr_size_t written = 0;
  status = apr_file_write_full(file, bytes.data(), bytes.size(), &written);
  // A failed close can lose written data: it counts.
  const apr_status_t closed = apr_file_close(file);
  return status != APR_SUCCESS ? status : closed;
}

class AprFileSystem : public FileSystem {
 public:
  apr_status_t writeFile(const std::string& name, const std::string& bytes,
                         apr_fileperms_t permissions) override {
    return writeOpen(name, APR_FOPEN_CREATE | APR_FOPEN_TRUNCATE, permissions,
                     bytes);
  }

  apr_status_t writeStart(const std::string& name,
                          const std::string& bytes) override {
    return writeOpen(name, 0, APR_OS_DEFAULT, bytes);
  }

  apr_status_t readFile(const std::string& name, std::string* bytes) override {
    apr::Pool pool;
    apr_file_t* file = nullptr;
    apr_status_t status =
        apr_file_open(&file, name.c_str(), APR_FOPEN_READ | APR_FOPEN_BINARY,
                      APR_OS_DEFAULT, pool);
    if (status != APR_SUCCESS) return status;
    bytes->clear();
    char buffer[8192];
    for (;;) {
      apr_size_t count = sizeof(buffer);
      status = apr_file_read(file, buffer, &count);
      bytes->append(buffer, count);
      if (status != APR_SUCCESS) break;
    }
    apr_file_close(file);
    return APR_STATUS_IS_EOF(status) ? APR_SUCCESS : status;
  }

  apr_status_t flushFile(const std::string& name) override {
    return syncPath(name, true);
  }

  apr_status_t flushDirectory(const std::string& name) override {
    return syncPath(name, false);
  }

  apr_status_t flushFileSystemOf(const std::string& name) override {
    return host::syncFileSystemContaining(name) ? APR_SUCCESS
                                                : APR_FROM_OS_ERROR(errno);
  }

  apr_status_t rename(const std::string& from, const std::string& to) override {
    apr::Pool pool;
    return apr_file_rename(from.c_str(), to.c_str(), pool);
  }

  apr_status_t link(const std::string& from, const std::string& to) override {
    return apr_file_link(from.c_str(), to.c_str());
  }

  apr_status_t copy(const std::string& from, const std::string& to,
                    apr_fileperms_t permissions) override {
    const int error = host::copyFile(
        from, to,
        permissions == APR_FILE_SOURCE_PERMS ? host::kSourceMode
                                             : unixMode(permissions));
    return error == 0 ? APR_SUCCESS : APR_FROM_OS_ERROR(error);
  }

  apr_status_t remove(const std::string& name) override {
    apr::Pool pool;
    return apr_file_remove(name.c_str(), pool);
  }

  apr_status_t makeDirectories(const std::string& name,
                               apr_fileperms_t permissions) override {
    apr::Pool pool;
    return apr_dir_make_recursive(name.c_str(), permissions, pool);
  }

  apr_status_t removeTree(const std::string& name) override {
    apr::Pool pool;
    return apr_dir_remove_recursive(name.c_str(), pool);
  }

  apr_status_t setPermissions(const std::string& name,
                              apr_fileperms_t permissions) override {
    return apr_file_perms_set(name.c_str(), permissions);
  }

  apr_status_t stat(const std::string& name, Info* info) override {
    apr::Pool pool;
    apr_finfo_t found;
    const apr_status_t status =
        apr_stat(&found, name.c_str(),
                 APR_FINFO_TYPE | APR_FINFO_DEV | APR_FINFO_LINK, pool);
    if (status != APR_SUCCESS && !APR_STATUS_IS_INCOMPLETE(status)) {
      return status;
    }
    info->type = found.filetype;
    info->device = found.device;
    return APR_SUCCESS;
  }
};

}  // namespace

FileSystem& FileSystem::real() {
  static AprFileSystem instance;
  return instance;
}

bool pathPresent(FileSystem& fs, const std::string& name) {
  FileSystem::Info info;
  return fs.stat(name, &info) == APR_SUCCESS;
}

bool filePresent(FileSystem& fs, const std::string& name) {
  FileSystem::Info info;
  return fs.stat(name, &info) == APR_SUCCESS &&
         (info.type == APR_REG || info.type == APR_LNK);
}

bool directoryPresent(FileSystem& fs, const std::string& name) {
  FileSystem::Info info;
  return fs.stat(name, &info) == APR_SUCCESS && info.type == APR_DIR;
}
