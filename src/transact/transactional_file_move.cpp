#include "transact/transactional_file_move.h"

#include <apr_file_info.h>
#include <apr_file_io.h>
#include <log4cpp/Category.hh>

#include <cstdio>
#include <istream>
#include <ostream>

#include "support/apr_utils.h"
#include "support/path.h"
#include "transact/file_backup.h"
#include "transact/sync_batch.h"

namespace {

// True when anything at all (even an unreadable file) is at `name`.
bool pathPresent(const std::string& name, apr_pool_t* pool) {
  apr_finfo_t info;
  return apr_stat(&info, name.c_str(), APR_FINFO_TYPE | APR_FINFO_LINK,
                  pool) == APR_SUCCESS;
}

}  // namespace

TransactionalFileMove::TransactionalFileMove(apr_pool_t* p)
    : Transactional(
          log4cpp::Category::getInstance("transact.Transactional.FileMove")),
      pool(p) {}

std::string TransactionalFileMove::backupFilename() const {
  return backupFilenameFor(destinationFilename);
}

bool TransactionalFileMove::prepare() {
  const std::string parent = path(destinationFilename).parent();
  if (!parent.empty()) {
    createdDirectories.clear();
    for (std::string missing = parent;
         !missing.empty() && !apr_dir_exists(missing.c_str(), pool);
         missing = path(missing).parent()) {
      createdDirectories.insert(createdDirectories.begin(), missing);
    }
    apr_status_t status = apr_dir_make_recursive(
        parent.c_str(), permissions | APR_FPROT_UREAD | APR_FPROT_UWRITE |
                            APR_FPROT_UEXECUTE,
        pool);
    if (status != APR_SUCCESS) {
      logger.error("apr_dir_make_recursive(" + parent + " failed.");
      return false;
    }
  }
  return makeFreshBackup(destinationFilename, logger, pool);
}

apr_status_t TransactionalFileMove::replaceDestination(
    const std::string& from, bool mayLink, apr_fileperms_t copyPermissions) {
  const char* destination = destinationFilename.c_str();
  // Without something to put there, the destination is left alone.
  if (!apr_file_exists(from.c_str(), pool)) return APR_ENOENT;
  apr_status_t status = apr_file_remove(destination, pool);
  if (status != APR_SUCCESS && !APR_STATUS_IS_ENOENT(status)) return status;
  // A link shares the prepared file instead of copying it: the source is
  // deleted at cleanup anyway and nothing writes to it meanwhile.
  if (mayLink && apr_file_link(from.c_str(), destination) == APR_SUCCESS) {
    return APR_SUCCESS;
  }
  return apr_file_copy(from.c_str(), destination, copyPermissions, pool);
}

bool TransactionalFileMove::execute() {
  apr_status_t status = replaceDestination(sourceFilename, true, permissions);
  if (status != APR_SUCCESS) {
    const std::string reason = aprStatus(status);
    std::printf("Failed to move source (%s) to dest (%s): %s\n",
                sourceFilename.c_str(), destinationFilename.c_str(),
                reason.c_str());
    logger.warn("Failed to move source (" + sourceFilename + ") to dest (" +
                destinationFilename + "): " + reason);
    return false;
  }
  // A linked file keeps the source's mode; a copy is subject to the umask.
  status = apr_file_perms_set(destinationFilename.c_str(), permissions);
  if (status == APR_SUCCESS || APR_STATUS_IS_ENOTIMPL(status)) return true;
  logger.warn("Setting " + destinationFilename + " permissions to " +
              apr_strperm(permissions) + " failed");
  return false;
}

void TransactionalFileMove::rollback() {
  const std::string backup = backupFilename();
  const bool debugOn = logger.isDebugEnabled();
  if (debugOn) {
    logger.debug("rollback: copying backup " + backup +
                 " over destination " + destinationFilename);
  }
  if (apr_file_exists(backup.c_str(), pool)) {
    if (debugOn) {
      logger.debug("rollback: backup file " + backup +
                   " exists - going to return file to original");
    }
    // Copied, not linked: the backup must stay intact for a repeated
    // rollback, whatever happens to the destination afterwards.
    apr_status_t status =
        replaceDestination(backup, false, APR_FILE_SOURCE_PERMS);
    if (status != APR_SUCCESS) {
      logger.error("Failed to copy backup (" + backup + ") over original (" +
                   destinationFilename + ") on rollback, status: " +
                   aprStatus(status) + " (" + __FILE__ + ":" +
                   std::to_string(__LINE__) + ")");
      restoreFailed = true;
      throw std::string("Failed to copy backup over original on rollback");
    }
    return;
  }
  // No backup: the destination did not exist before this transaction.
  if (!pathPresent(destinationFilename, pool)) return;
  apr_status_t status = apr_file_remove(destinationFilename.c_str(), pool);
  if (status != APR_SUCCESS && !APR_STATUS_IS_ENOENT(status)) {
    logger.error("Failed to remove destination file (" + destinationFilename +
                 ") during rollback, status: " + aprStatus(status));
    throw std::string("Failed to remove destination file during rollback");
  }
}

void TransactionalFileMove::cleanup() {
  if (restoreFailed) {
    logger.error("Keeping backup " + backupFilename() +
                 ": it holds the only copy of " + destinationFilename);
  } else {
    apr_file_remove(backupFilename().c_str(), pool);
  }
  apr_file_remove(sourceFilename.c_str(), pool);
}

void TransactionalFileMove::addWrittenPaths(TransactionState completed,
                                            SyncBatch& batch) const {
  switch (completed) {
    case VQTRANSACTION_PREPARE:
      batch.addFile(backupFilename());
      batch.addDirectoryOf(backupFilename());
      for (const std::string& directory : createdDirectories) {
        batch.addDirectoryOf(directory);
      }
      break;
    case VQTRANSACTION_EXECUTE:
    case VQTRANSACTION_ROLLBACK:
      batch.addFile(destinationFilename);
      batch.addDirectoryOf(destinationFilename);
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
