#include "transact/transactional_file_delete.h"

#include <log4cpp/Category.hh>

#include <cstdio>

#include "transact/file_backup.h"
#include "transact/file_system.h"
#include "transact/sync_batch.h"

TransactionalFileDelete::TransactionalFileDelete(apr_pool_t* p)
    : TransactionalBackedUpFile(
          log4cpp::Category::getInstance("transact.Transactional.FileDelete")),
      pool(p) {}

bool TransactionalFileDelete::prepare() {
  if (makeFreshBackup(fileSystem(), deleteFilename)) return true;
  logger.warn("Cannot delete " + deleteFilename + ": not a file");
  return false;
}

bool TransactionalFileDelete::execute() {
  std::string why;
  if (!removeIfPresent(fileSystem(), deleteFilename, &why)) {
    logger.warn("delete of " + deleteFilename + " execution failed: " + why);
    return false;
  }
  return true;
}

void TransactionalFileDelete::rollback() {
  const std::string backup = backupFilename();
  const bool debugOn = logger.isDebugEnabled();
  apr_status_t status = startRollback();
  if (APR_STATUS_IS_ENOENT(status)) {
    if (debugOn) {
      logger.debug("rollback: backup file " + backup +
                   " does not exist - nothing required for rollback.");
    }
    return;
  }
  if (status == APR_SUCCESS) {
    if (debugOn) {
      logger.debug("rollback: backup file " + backup +
                   " exists - going to replace original file");
    }
    // Removed first rather than rewritten in place, which would make the
    // file system flush the file's old data on the spot. The backup stays
    // for a repeated rollback.
    FileSystem& fs = fileSystem();
    status = fs.remove(deleteFilename);
    if (status == APR_SUCCESS || APR_STATUS_IS_ENOENT(status)) {
      status = fs.copy(backup, deleteFilename, APR_FILE_SOURCE_PERMS);
    }
  }
  if (status != APR_SUCCESS) failRestore(status);
}

void TransactionalFileDelete::addWrittenPaths(TransactionState completed,
                                              SyncBatch& batch) const {
  TransactionalBackedUpFile::addWrittenPaths(completed, batch);
  // Removing the file changed its directory's entries.
  if (completed == VQTRANSACTION_EXECUTE) batch.addDirectoryOf(deleteFilename);
}

void TransactionalFileDelete::debug() {
  std::printf(" TransactionalFileDelete { deleteFilename: '%s' } \n",
              deleteFilename.c_str());
}

std::string TransactionalFileDelete::debugString() {
  return "   TransactionalFileDelete { deleteFilename: '" + deleteFilename +
         "' } ";
}

std::ostream& TransactionalFileDelete::store(std::ostream& out) const {
  return serializeString(out, deleteFilename);
}

std::istream& TransactionalFileDelete::restore(std::istream& in) {
  return deserializeString(in, deleteFilename);
}
