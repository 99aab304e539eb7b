#ifndef VQ_TRANSACT_TRANSACTIONAL_FILE_DELETE_H_
#define VQ_TRANSACT_TRANSACTIONAL_FILE_DELETE_H_

#include <apr_pools.h>

#include <string>

#include "transact/transactional.h"

// Deletes a file (serial 2). Prepare copies it to file + ".bak.tr", which
// rollback copies back and cleanup deletes. Deleting a file that does not
// exist succeeds and does nothing. Journalled as the file name.
class TransactionalFileDelete : public Transactional {
 public:
  static constexpr int kSerial = 2;

  explicit TransactionalFileDelete(apr_pool_t* pool);

  void setDeleteFilename(const std::string& name) { deleteFilename = name; }
  const std::string& getDeleteFilename() const { return deleteFilename; }
  std::string backupFilename() const;

  bool prepare() override;
  bool execute() override;
  void rollback() override;
  void commit() override {}
  void cleanup() override;
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override;
  std::istream& restore(std::istream& in) override;
  void addWrittenPaths(TransactionState completed,
                       SyncBatch& batch) const override;

 private:
  std::string deleteFilename;
  apr_pool_t* pool;
  // Set when rollback could not restore the backup: the backup is then the
  // only copy of the original and cleanup keeps it.
  bool restoreFailed = false;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_FILE_DELETE_H_
