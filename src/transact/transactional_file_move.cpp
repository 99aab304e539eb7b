#include "transact/transactional_file_move.h"

#include <apr_file_info.h>
#include <apr_file_io.h>
#include <log4cpp/Category.hh>

#include <cstdio>
#include <istream>
#include <ostream>

#include "support/apr_status.h"
#include "support/apr_utils.h"
#include "support/path.h"
#include "transact/file_backup.h"
#include "transact/file_system.h"
#include "transact/sync_batch.h"

TransactionalFileMove::TransactionalFileMove(apr_pool_t* p)
    : TransactionalBackedUpFile(
          log4cpp::Category::getInstance("transact.Transactional.FileMove")),
      pool(p) {}

bool TransactionalFileMove::prepare() {
  FileSystem& fs = fileSystem();
  const std::string parent = path(destinationFilename).parent();
  if (!parent.empty()) {
    createdDirectories.clear();
    for (std::string missing = parent;
         !missing.empty() && !directoryPresent(fs, missing);
         missing = path(missing).parent()) {
      createdDirectories.insert(createdDirectories.begin(), missing);
    }
    apr_status_t status = fs.makeDirectories(
        parent, permissions | APR_FPROT_UREAD | APR_FPROT_UWRITE |
                    APR_FPROT_UEXECUTE);
    if (status != APR_SUCCESS) {
      logger.error("apr_dir_make_recursive(" + parent + " failed: " +
                   aprStatus(status));
      return false;
    }
  }
  if (makeFreshBackup(fs, destinationFilename)) return true;
  logger.warn("Cannot replace " + destinationFilename + ": not a file");
  return false;
}

std::string TransactionalFileMove::stagedFilename() const {
  return destinationFilename + ".new.tr";
}

apr_status_t TransactionalFileMove::stage(const std::string& from, bool mayLink,
                                          apr_fileperms_t copyPermissions) {
  FileSystem& fs = fileSystem();
  // Without something to put there, the destination is left alone.
  FileSystem::Info info;
  apr_status_t status = fs.stat(from, &info);
  if (status != APR_SUCCESS) return status;
  const std::string staged = stagedFilename();
  status = fs.remove(staged);
  if (status != APR_SUCCESS && !APR_STATUS_IS_ENOENT(status)) return status;
  // A link shares the prepared file instead of copying it: the source is
  // deleted at cleanup anyway and nothing writes to it meanwhile.
  if (mayLink && fs.link(from, staged) == APR_SUCCESS) return APR_SUCCESS;
  return fs.copy(from, staged, copyPermissions);
}

bool TransactionalFileMove::execute() {
  FileSystem& fs = fileSystem();
  const std::string staged = stagedFilename();
  apr_status_t status = stage(sourceFilename, true, permissions);
  if (status == APR_SUCCESS) {
    // A linked file keeps the source's mode; a copy is subject to the umask.
    status = fs.setPermissions(staged, permissions);
    if (status != APR_SUCCESS && !APR_STATUS_IS_ENOTIMPL(status)) {
      logger.warn("Setting " + destinationFilename + " permissions to " +
                  apr_strperm(permissions) + " failed");
      return false;
    }
    status = fs.rename(staged, destinationFilename);
  }
  if (status == APR_SUCCESS) return true;
  const std::string reason = aprStatus(status);
  std::printf("Failed to move source (%s) to dest (%s): %s\n",
              sourceFilename.c_str(), destinationFilename.c_str(),
              reason.c_str());
  logger.warn("Failed to move source (" + sourceFilename + ") to dest (" +
              destinationFilename + "): " + reason);
  return false;
}

void TransactionalFileMove::rollback() {
  FileSystem& fs = fileSystem();
  const std::string backup = backupFilename();
  const bool debugOn = logger.isDebugEnabled();
  apr_status_t status = startRollback();
  if (status == APR_SUCCESS) {
    if (debugOn) {
      logger.debug("rollback: backup file " + backup +
                   " exists - going to return file to original");
    }
    // Copied, not linked: the backup must stay intact for a repeated
    // rollback, whatever happens to the destination afterwards.
    status = stage(backup, false, APR_FILE_SOURCE_PERMS);
    if (status == APR_SUCCESS) {
      status = fs.rename(stagedFilename(), destinationFilename);
    }
    if (status != APR_SUCCESS) failRestore(status);
    return;
  }
  if (!APR_STATUS_IS_ENOENT(status)) {
    // Whether the destination existed before is unknown: leave it.
    logger.error("Cannot tell whether the backup " + backup +
                 " exists: " + aprStatus(status));
    throw std::string("Failed to find the backup on rollback");
  }
  // No backup: the destination did not exist before this transaction.
  FileSystem::Info info;
  status = fs.stat(destinationFilename, &info);
  if (APR_STATUS_IS_ENOENT(status)) return;
  if (status == APR_SUCCESS) status = fs.remove(destinationFilename);
  if (status != APR_SUCCESS && !APR_STATUS_IS_ENOENT(status)) {
    logger.error("Failed to remove destination file (" + destinationFilename +
                 ") during rollback, status: " + aprStatus(status));
    throw std::string("Failed to remove destination file during rollback");
  }
}

void TransactionalFileMove::cleanup() {
  TransactionalBackedUpFile::cleanup();
  std::string why;
  // The staged file is left only by a step that failed or was cut short.
  if (!removeIfPresent(fileSystem(), stagedFilename(), &why) ||
      !removeIfPresent(fileSystem(), sourceFilename, &why)) {
    throw why;
  }
}

void TransactionalFileMove::addWrittenPaths(TransactionState completed,
                                            SyncBatch& batch) const {
  TransactionalBackedUpFile::addWrittenPaths(completed, batch);
  switch (completed) {
    case VQTRANSACTION_PREPARE:
      for (const std::string& directory : createdDirectories) {
        batch.addDirectoryOf(directory);
      }
      break;
    case VQTRANSACTION_EXECUTE:
      batch.addFile(destinationFilename);
      batch.addDirectoryOf(destinationFilename);
      break;
    case VQTRANSACTION_CLEANUP:
      batch.addDirectoryOf(sourceFilename);
      break;
    default:
      break;
  }
}

void TransactionalFileMove::debug() {
  std::printf(
      " TransactionalFileMove { sourceFilename: '%s', destFilename: '%s', "
      "permissions: '%s' } \n",
      sourceFilename.c_str(), destinationFilename.c_str(),
      apr_strperm(permissions));
}

std::string TransactionalFileMove::debugString() {
  return "   TransactionalFileMove { sourceFilename: '" + sourceFilename +
         "', destFilename: '" + destinationFilename + "', permissions: '" +
         apr_strperm(permissions) + "' } ";
}

std::ostream& TransactionalFileMove::store(std::ostream& out) const {
  serializeString(out, sourceFilename);
  serializeString(out, destinationFilename);
  // Decimal text with no separator: the next record's serial is below 48
  // and so never reads as a digit.
  return out << permissions;
}

std::istream& TransactionalFileMove::restore(std::istream& in) {
  deserializeString(in, sourceFilename);
  deserializeString(in, destinationFilename);
  return in >> permissions;
}
