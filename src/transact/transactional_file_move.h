#ifndef VQ_TRANSACT_TRANSACTIONAL_FILE_MOVE_H_
#define VQ_TRANSACT_TRANSACTIONAL_FILE_MOVE_H_

#include <apr_file_info.h>
#include <apr_pools.h>

#include <string>
#include <vector>

#include "transact/transactional_backed_up_file.h"

// Puts a prepared file at its destination (serial 1); the source is deleted
// at cleanup. An existing destination is first copied to destination +
// ".bak.tr", which rollback puts back and cleanup deletes. Journalled as
// source, destination and the permissions as decimal text.
//
// The destination is never rewritten in place, nor ever missing: execute
// gives the source's contents the name destination + ".new.tr" (a hard
// link, or a copy where links are impossible) and renames that over the
// destination; rollback does the same with a copy of the backup. So a
// program reading the destination meanwhile finds the whole old file or the
// whole new one, no large file is copied twice, a backup never shares its
// data with the destination, and the file system is not made to flush the
// data of every replaced file on the spot. Cleanup removes a staged file
// that a failed or interrupted step left.
class TransactionalFileMove : public TransactionalBackedUpFile {
 public:
  static constexpr int kSerial = 1;
  // Owner read and write, in APR permission bits.
  static constexpr int kDefaultPermissions = 0x0600;

  explicit TransactionalFileMove(apr_pool_t* pool);

  void setSourceFilename(const std::string& name) { sourceFilename = name; }
  void setDestinationFilename(const std::string& name) {
    destinationFilename = name;
  }
  // APR permission bits given to the destination (and, with owner rwx
  // added, to the directories created for it).
  void setPermissions(int bits) { permissions = bits; }
  const std::string& getSourceFilename() const { return sourceFilename; }
  const std::string& getDestinationFilename() const {
    return destinationFilename;
  }
  int getPermissions() const { return permissions; }

  bool prepare() override;
  bool execute() override;
  // Restores the backup, or removes a destination that did not exist
  // before. Succeeds silently when there is nothing to undo. Leaves the
  // backup for cleanup so that it can run again after a crash.
  // Throws std::string on failure.
  void rollback() override;
  // Removes the backup (see TransactionalBackedUpFile), a staged file and
  // the source. Throws std::string when one is there and cannot be removed.
  void cleanup() override;
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override;
  std::istream& restore(std::istream& in) override;
  void addWrittenPaths(TransactionState completed,
                       SyncBatch& batch) const override;

 private:
  const std::string& backedUpFilename() const override {
    return destinationFilename;
  }
  // Where the destination's next contents wait for the rename that puts
  // them in place.
  std::string stagedFilename() const;
  // Gives the staged file the contents of `from`, replacing any left there:
  // a hard link when `mayLink` and possible, else a copy made with
  // `copyPermissions`. Returns the first failing status; an ENOENT status,
  // with nothing changed, when `from` is missing.
  apr_status_t stage(const std::string& from, bool mayLink,
                     apr_fileperms_t copyPermissions);

  std::string sourceFilename;
  std::string destinationFilename;
  apr_pool_t* pool;
  int permissions = kDefaultPermissions;
  // Directories that prepare created, outermost first; not journalled.
  std::vector<std::string> createdDirectories;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_FILE_MOVE_H_
