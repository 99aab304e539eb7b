#ifndef VQ_TRANSACT_FILE_SYSTEM_H_
#define VQ_TRANSACT_FILE_SYSTEM_H_

#include <apr_errno.h>
#include <apr_file_info.h>

#include <string>

// Every file-system call the transaction machinery makes (the engine, its
// journal, the file operations and their backups) goes through this one
// interface, so that a test can fail any single call and simulate a power
// loss. Names are paths as the operations hold them, relative to the working
// directory or absolute. Every call returns APR_SUCCESS or the failing
// status and never throws. Nothing a call writes is durable until the
// matching flush has succeeded: file data by flushFile, a directory's
// entries (creations, renames, links, removals) by flushDirectory, both by
// flushFileSystemOf.
class FileSystem {
 public:
  // What stat tells about a path.
  struct Info {
    apr_filetype_e type = APR_NOFILE;
    apr_dev_t device = 0;
  };

  virtual ~FileSystem() = default;

  // Creates `name` with `permissions` (less the umask), or truncates it, and
  // writes `bytes` to it.
  virtual apr_status_t writeFile(const std::string& name,
                                 const std::string& bytes,
                                 apr_fileperms_t permissions) = 0;
  // Overwrites the first bytes of the existing file `name` with `bytes`.
  virtual apr_status_t writeStart(const std::string& name,
                                  const std::string& bytes) = 0;
  // The whole content of `name`.
  virtual apr_status_t readFile(const std::string& name,
                                std::string* bytes) = 0;
  // Makes the data of the file `name` durable.
  virtual apr_status_t flushFile(const std::string& name) = 0;
  // Makes the entries of the directory `name` durable.
  virtual apr_status_t flushDirectory(const std::string& name) = 0;
  // Makes everything on the file system holding `name` durable, with one
  // device flush.
  virtual apr_status_t flushFileSystemOf(const std::string& name) = 0;
  // Renames `from` to `to`, replacing a file there.
  virtual apr_status_t rename(const std::string& from,
                              const std::string& to) = 0;
  // Gives the file `from` the second name `to` (a hard link).
  virtual apr_status_t link(const std::string& from, const std::string& to) = 0;
  // Makes `to` an independent copy of the file `from`, with `permissions`
  // (less the umask) or the source's when APR_FILE_SOURCE_PERMS; a file at
  // `to` is rewritten. A failed copy may leave `to` partly written.
  virtual apr_status_t copy(const std::string& from, const std::string& to,
                            apr_fileperms_t permissions) = 0;
  // Removes the file (or empty directory) `name`.
  virtual apr_status_t remove(const std::string& name) = 0;
  // Creates the directory `name` and its missing parents.
  virtual apr_status_t makeDirectories(const std::string& name,
                                       apr_fileperms_t permissions) = 0;
  // Removes the directory `name` with everything in it.
  virtual apr_status_t removeTree(const std::string& name) = 0;
  virtual apr_status_t setPermissions(const std::string& name,
                                      apr_fileperms_t permissions) = 0;
  // Type and device of `name` itself (a final symbolic link is not
  // followed); an ENOENT status when nothing is there.
  virtual apr_status_t stat(const std::string& name, Info* info) = 0;

  // The real file system, over APR and the host layer. Stateless: every
  // thread may use it at once.
  static FileSystem& real();
};

// True when anything at all (even a dangling link) is at `name`.
bool pathPresent(FileSystem& fs, const std::string& name);
// True when a regular file (or a link to one) is at `name`.
bool filePresent(FileSystem& fs, const std::string& name);
// True when a directory is at `name`.
bool directoryPresent(FileSystem& fs, const std::string& name);

#endif  // VQ_TRANSACT_FILE_SYSTEM_H_
