#ifndef VQ_TRANSACT_TRANSACTIONAL_FILE_DELETE_H_
#define VQ_TRANSACT_TRANSACTIONAL_FILE_DELETE_H_

#include <apr_pools.h>

#include <string>

#include "transact/transactional_backed_up_file.h"

// Deletes a file (serial 2). Prepare copies it to file + ".bak.tr", which
// rollback copies back and cleanup deletes. Deleting a file that does not
// exist succeeds and does nothing. Journalled as the file name.
class TransactionalFileDelete : public TransactionalBackedUpFile {
 public:
  static constexpr int kSerial = 2;

  explicit TransactionalFileDelete(apr_pool_t* pool);

  void setDeleteFilename(const std::string& name) { deleteFilename = name; }
  const std::string& getDeleteFilename() const { return deleteFilename; }

  bool prepare() override;
  bool execute() override;
  void rollback() override;
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override;
  std::istream& restore(std::istream& in) override;
  void addWrittenPaths(TransactionState completed,
                       SyncBatch& batch) const override;

 private:
  const std::string& backedUpFilename() const override {
    return deleteFilename;
  }

  std::string deleteFilename;
  apr_pool_t* pool;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_FILE_DELETE_H_
