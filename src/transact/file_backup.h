#ifndef VQ_TRANSACT_FILE_BACKUP_H_
#define VQ_TRANSACT_FILE_BACKUP_H_

#include <apr_pools.h>

#include <string>

namespace log4cpp {
class Category;
}  // namespace log4cpp

// The copy a file operation keeps of the file it changes, from prepare until
// cleanup: `file` + ".bak.tr".
std::string backupFilenameFor(const std::string& file);

// Replaces any backup left from an earlier attempt with a fresh copy of
// `file`; when `file` does not exist there is nothing to keep and no backup
// afterwards. Returns false when the old backup cannot be removed or the copy
// fails.
bool makeFreshBackup(const std::string& file, log4cpp::Category& logger,
                     apr_pool_t* pool);

#endif  // VQ_TRANSACT_FILE_BACKUP_H_
