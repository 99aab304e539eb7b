#ifndef VQ_TRANSACT_TRANSACTIONAL_BACKED_UP_FILE_H_
#define VQ_TRANSACT_TRANSACTIONAL_BACKED_UP_FILE_H_

#include <apr_errno.h>

#include <string>

#include "transact/transactional.h"

// An operation that changes one file (replaces or deletes it) and keeps a
// copy of it, made at prepare, as the file + ".bak.tr". Rollback copies the
// backup back over the file and leaves it there, so that rollback can run
// again after a crash; cleanup removes it. When rollback fails to put the
// backup back, the backup is the only copy of the original and cleanup
// keeps it.
class TransactionalBackedUpFile : public Transactional {
 public:
  std::string backupFilename() const;

  void commit() override {}
  // Removes the backup, or keeps it (and says so) after a failed restore.
  // Throws std::string when it is there and cannot be removed.
  void cleanup() override;
  // The backup and its directory after prepare, the restored file and its
  // directory after rollback, the backup's directory after cleanup.
  void addWrittenPaths(TransactionState completed,
                       SyncBatch& batch) const override;

 protected:
  explicit TransactionalBackedUpFile(log4cpp::Category& logger);

  // The file the backup is a copy of.
  virtual const std::string& backedUpFilename() const = 0;

  // Rollback's first step: says (at debug level) that the backup is to go
  // back over the file, then looks for the backup. Returns the status of the
  // look: APR_SUCCESS when the backup is there, an ENOENT status when prepare
  // found no file to keep.
  apr_status_t startRollback();

  // Reports that rollback could not put the backup back (`status`), marks
  // the backup as the only copy of the original, and throws rollback's
  // std::string.
  [[noreturn]] void failRestore(apr_status_t status);

  // Set when rollback could not restore the backup: the backup is then the
  // only copy of the original and cleanup keeps it.
  bool restoreFailed = false;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_BACKED_UP_FILE_H_
