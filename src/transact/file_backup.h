#ifndef VQ_TRANSACT_FILE_BACKUP_H_
#define VQ_TRANSACT_FILE_BACKUP_H_

#include <string>

class FileSystem;

// The copy a file operation keeps of the file it changes, from prepare until
// cleanup: `file` + ".bak.tr".
std::string backupFilenameFor(const std::string& file);

// Replaces any backup left from an earlier attempt with a fresh copy of
// `file`; when `file` does not exist there is nothing to keep and no backup
// afterwards. Returns false when something other than a file (a directory)
// is at `file`: it cannot be kept, so the operation must refuse. Throws
// std::runtime_error naming the file and the reason when the file system
// fails: the old backup cannot be removed, the file's presence cannot be
// told, or the copy fails.
bool makeFreshBackup(FileSystem& fs, const std::string& file);

// Removes `name` when it is there. Returns false (with `*why` set) when it
// is there and cannot be removed, or its presence cannot be told.
bool removeIfPresent(FileSystem& fs, const std::string& name,
                     std::string* why);

#endif  // VQ_TRANSACT_FILE_BACKUP_H_
