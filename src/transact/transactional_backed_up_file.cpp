#include "transact/transactional_backed_up_file.h"

#include <log4cpp/Category.hh>

#include "support/apr_status.h"
#include "transact/file_backup.h"
#include "transact/file_system.h"
#include "transact/sync_batch.h"

TransactionalBackedUpFile::TransactionalBackedUpFile(
    log4cpp::Category& category)
    : Transactional(category) {}

std::string TransactionalBackedUpFile::backupFilename() const {
  return backupFilenameFor(backedUpFilename());
}

apr_status_t TransactionalBackedUpFile::startRollback() {
  const std::string backup = backupFilename();
  if (logger.isDebugEnabled()) {
    logger.debug("rollback: copying backup " + backup + " over destination " +
                 backedUpFilename());
  }
  FileSystem::Info info;
  return fileSystem().stat(backup, &info);
}

void TransactionalBackedUpFile::failRestore(apr_status_t status) {
  logger.error("Failed to copy backup (" + backupFilename() +
               ") over original (" + backedUpFilename() +
               ") on rollback, status: " + aprStatus(status));
  restoreFailed = true;
  throw std::string("Failed to copy backup over original on rollback");
}

void TransactionalBackedUpFile::cleanup() {
  const std::string backup = backupFilename();
  if (restoreFailed) {
    logger.error("Keeping backup " + backup + ": it holds the only copy of " +
                 backedUpFilename());
    return;
  }
  std::string why;
  if (!removeIfPresent(fileSystem(), backup, &why)) throw why;
}

void TransactionalBackedUpFile::addWrittenPaths(TransactionState completed,
                                                SyncBatch& batch) const {
  switch (completed) {
    case VQTRANSACTION_PREPARE:
      batch.addFile(backupFilename());
      batch.addDirectoryOf(backupFilename());
      break;
    case VQTRANSACTION_ROLLBACK:
      batch.addFile(backedUpFilename());
      batch.addDirectoryOf(backedUpFilename());
      break;
    case VQTRANSACTION_CLEANUP:
      batch.addDirectoryOf(backupFilename());
      break;
    default:
      break;
  }
}
