#ifndef VQ_TRANSACT_TRANSACTIONAL_H_
#define VQ_TRANSACT_TRANSACTIONAL_H_

#include <cstdint>
#include <iosfwd>
#include <string>

#include "transact/transaction_state.h"

namespace log4cpp {
class Category;
}
class FileSystem;
class SyncBatch;
class TransactionalExternalInterface;

// One reversible step of a transaction. The engine drives every operation
// through prepare, execute, then commit or rollback, then cleanup, and
// journals it with store()/restore() after its serial number.
//
// Contract of the phases:
//  - prepare() makes the step possible and undoable; false refuses the
//    transaction.
//  - execute() does the step; false fails the transaction.
//  - rollback() undoes execute(); it is also called when execute() never ran
//    and may be called again after a crash, so it must be repeatable.
//  - commit() makes the step final (or does a step that cannot be undone);
//    it may run again after a crash during commit.
//  - cleanup() removes backups and temporary files; it may run again after
//    a crash during cleanup.
// prepare() reports a failure to make the step undoable (its backup could
// not be written, say) by throwing, with the reason as the text; rollback(),
// commit() and cleanup() report failures by throwing a std::string. Every
// file-system call goes through fileSystem().
class Transactional {
 public:
  explicit Transactional(log4cpp::Category& logger);
  virtual ~Transactional();

  Transactional(const Transactional&) = delete;
  Transactional& operator=(const Transactional&) = delete;

  virtual bool prepare() = 0;
  virtual bool execute() = 0;
  virtual void rollback() = 0;
  virtual void commit() = 0;
  virtual void cleanup() = 0;
  virtual int getSerial() = 0;
  // Writes a one-line description to standard output.
  virtual void debug() = 0;
  virtual std::string debugString() = 0;
  virtual std::ostream& store(std::ostream& out) const = 0;
  virtual std::istream& restore(std::istream& in) = 0;

  // Adds to `batch` what the phase `completed` wrote to disk, so that the
  // engine can make it durable before it records the next state. Called
  // after PREPARE (before EXECUTE is recorded), after EXECUTE (before COMMIT),
  // after ROLLBACK (before CLEANUP) and after CLEANUP (the directories it
  // removed files from, before the journal goes). Operations that touch no
  // files add nothing.
  virtual void addWrittenPaths(TransactionState completed,
                               SyncBatch& batch) const;

  // The file system the operation works on; the real one unless the engine
  // hands it another.
  void setFileSystem(FileSystem* fileSystem) { fs_ = fileSystem; }
  FileSystem& fileSystem() const { return *fs_; }

  void setTransactionalExternalInterface(
      TransactionalExternalInterface* externalInterface) {
    external = externalInterface;
  }
  TransactionalExternalInterface* getTransactionalExternalInterface() const {
    return external;
  }

  std::ostream& serializeString(std::ostream& out,
                                const std::string& text) const;
  std::istream& deserializeString(std::istream& in, std::string& text) const;
  std::ostream& serializeSize(std::ostream& out, std::uint32_t size) const;
  std::istream& deserializeSize(std::istream& in, std::uint32_t& size) const;

 protected:
  TransactionalExternalInterface* external = nullptr;
  log4cpp::Category& logger;

 private:
  FileSystem* fs_;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_H_
