#ifndef VQ_TRANSACT_TRANSACTION_ENGINE_H_
#define VQ_TRANSACT_TRANSACTION_ENGINE_H_

#include <apr_pools.h>

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "transact/transaction_exception.h"
#include "transact/transaction_mutex.h"
#include "transact/transaction_state.h"
#include "transact/transactional.h"

namespace log4cpp {
class Category;
}
class FileSystem;
class TransactionalExternalInterface;

// Runs a list of transactional operations as one crash-safe transaction and
// journals its progress to ".transaction.dat" in the working directory.
//
// Journal layout (every number a 32-bit unsigned integer in host order):
//   offset 0: state; offset 4: n, the number of operations; then n records,
//   each a serial number followed by the operation's own fields. Strings are
//   a length followed by that many bytes.
//
// States: GENESIS -> PREPARE -> EXECUTE -> COMMIT | ROLLBACK -> CLEANUP ->
// COMPLETE, or GENESIS [-> PREPARE] -> CLEANUP -> COMPLETE when prepare fails
// or the transaction is abandoned. COMMIT, ROLLBACK and CLEANUP may be
// re-entered from themselves so that recovery can run a phase again.
//
// Invariants that make a crash (or a power cut) at any instant recoverable:
//  (1) The journal appears whole or not at all: it is written to a ".tmp"
//      file, flushed, renamed into place and its directory flushed before
//      any operation is prepared. Its state field then reads GENESIS.
//  (2) Every later state is written in place and flushed before the phase
//      it names does anything. A state that cannot be recorded stops the
//      transaction there: nothing of the next phase runs.
//  (3) Before EXECUTE is recorded, the backups made by prepare are durable;
//      so a rollback never restores a backup that a power cut has emptied.
//  (4) Before COMMIT is recorded, the executed files and the directories
//      they were created or removed in are durable; so cleanup never deletes
//      a backup while the data replacing it may still vanish.
//  (5) Before CLEANUP is recorded after a rollback, the restored files are
//      durable, for the same reason.
//  (6) Rollback leaves backups in place (cleanup removes them), so running
//      it again after a crash during rollback restores the same data again.
//  (7) The journal is removed only after cleanup has finished and its
//      removals are durable; a cleanup that fails keeps the journal.
//  (9) No transaction runs while an unfinished one is on disk: each first
//      finishes it, and fails (reported) when it cannot.
// How a failing file system ends a transaction (every file-system call goes
// through one FileSystem, so tests can fail any of them):
//  - Before EXECUTE is recorded (journal, backups, their flush): nothing
//    has changed; the temporaries and backups are removed and the
//    transaction fails with a TransactionException naming the cause.
//  - A failure to record COMMIT rolls back and fails likewise.
//  - A rollback (or a commit during recovery) that fails, or a state that
//    cannot be recorded, keeps the journal and the backups for the next
//    start (or the next transaction) to finish; the failure is logged.
//  - Once COMMIT is durable the transaction has succeeded; a failing
//    cleanup only keeps the journal, so that recovery removes what is left.
//  (8) A backup is an independent copy that never shares data with the
//      destination, so a rollback may rewrite the destination in place
//      (as older journal readers do) without touching the backup.
// Recovery (init) therefore rolls back EXECUTE and ROLLBACK journals, commits
// COMMIT journals again, and cleans up everything it finds.
class TransactionEngine {
 public:
  // `fileSystem` is the real one when null.
  TransactionEngine(TransactionalExternalInterface* external,
                    apr_pool_t* parentPool, FileSystem* fileSystem = nullptr);
  ~TransactionEngine();

  TransactionEngine(const TransactionEngine&) = delete;
  TransactionEngine& operator=(const TransactionEngine&) = delete;

  // Adopts `operation` (the engine deletes it) and hands it the external
  // interface and the file system. Callers take the lock (clear(true))
  // before the first one.
  TransactionEngine& operator<<(Transactional* operation);

  // Finishes an unfinished transaction found on disk, then prepares and
  // executes every operation, then commits (or rolls back), then cleans up
  // and releases the lock. Returns true when prepare and execute succeeded
  // and COMMIT was recorded, false when an operation refused or failed (and
  // so nothing changed). Throws TransactionException, the lock released,
  // with the cause and the collected errors one per line, when the journal,
  // a backup or a flush failed, when commit or rollback reported errors, or
  // when an unfinished transaction could not be finished. After a failed
  // rollback the journal stays for recovery.
  bool executeTransaction();

  bool prepare();
  bool execute();
  void commit();
  void rollback();
  // Records CLEANUP, cleans every operation up, then removes the journal and
  // releases the lock. Never throws for a failing file system: the journal
  // is then kept for recovery (see keptForRecovery) and the failure logged.
  void cleanup();
  // cleanup() unless the transaction has completed or its journal was kept.
  void cleanupTransaction();
  // True when a failure left the journal on disk for recovery.
  bool keptForRecovery() const { return kept_; }

  // Changes state and does the transition's work (journal writes, flushes).
  // Requires the lock. Throws TransactionException on a transition that is
  // not allowed, leaving the state unchanged.
  void setState(TransactionState newState);
  TransactionState getState() const { return state; }
  // Overwrites the journal's state field and flushes it; does nothing when
  // this engine has stored no journal. Throws TransactionException when
  // the state cannot be recorded.
  void writeState(TransactionState newState);
  // Writes the whole journal (see invariant 1). Throws TransactionException
  // when it cannot be made durable.
  void store();

  // Deletes every operation; then takes the lock when `lockAfterwards`.
  void clear(bool lockAfterwards);
  // Blocks until the process-wide lock is free, then takes it. Taking it
  // again through the same engine only logs a warning.
  void lockTransactionMutex();
  void releaseTransactionMutex();
  bool hasMutex() const { return has_mutex_; }

  // Logs dump() at debug priority.
  void debug();
  // The dump of the transaction: state, count and each operation.
  std::string dump();

  apr_pool_t* pool() const { return pool_; }
  TransactionalExternalInterface* getTransactionalExternalInterface() const {
    return external;
  }
  std::size_t size() const { return transactionals.size(); }
  Transactional* at(std::size_t index) const {
    return transactionals[index].get();
  }
  const std::vector<TransactionException>& getErrors() const { return errors; }

  // Journal primitives: 4-byte host-order numbers, strings as length plus
  // bytes. deserializeString keeps the text up to its first NUL byte.
  static std::ostream& serializeString(std::ostream& out,
                                       const std::string& text);
  static std::istream& deserializeString(std::istream& in, std::string& text);
  static std::ostream& serializeSize(std::ostream& out, std::uint32_t size);
  static std::istream& deserializeSize(std::istream& in, std::uint32_t& size);

  // Completes or rolls back a transaction left in the journal by a crash.
  // Called once at start, before anything else can run a transaction.
  // Returns false when a journal remains because it could not be read (an
  // I/O error), or its rollback, commit or cleanup failed; the failure is
  // logged at error level and the next transaction (or start) tries again.
  // A journal that reads but is corrupt is handled as far as it goes and
  // removed. `fileSystem` is the real one when null.
  static bool init(TransactionalExternalInterface* external, apr_pool_t* pool,
                   FileSystem* fileSystem = nullptr);
  // Throws the std::string "TransactionEngine::destroy called but
  // transaction still in progress." when a journal exists.
  static void destroy(apr_pool_t* pool);
  // Reads the journal at `file` (the default journal when null) and logs its
  // dump. Takes the lock while reading.
  static void debugFile(const char* file, apr_pool_t* pool);
  static void debugTransaction(const char* text);

  // The journal's path, relative to the working directory.
  static const char* const transactionDb;

  friend std::ostream& operator<<(std::ostream& out, TransactionEngine& engine);
  friend std::istream& operator>>(std::istream& in, TransactionEngine& engine);

 private:
  // Makes durable what the phase `completed` wrote (invariants 3 to 5 and
  // 7); throws TransactionException when it cannot.
  void syncWrittenPaths(TransactionState completed);
  // Invariant 9: finishes a journal left on disk, under this engine's lock.
  void finishUnfinishedTransaction();
  // Leaves the journal for recovery: logs why and releases the lock.
  void keepForRecovery(const std::string& why);
  // Finishes the transaction just read from a journal; false (with `*why`)
  // when the journal had to be kept.
  bool finishRecovered(std::string* why);
  // Recovery over `fs`; `lockHeld` when the caller's engine holds the lock.
  static bool recoverJournal(TransactionalExternalInterface* external,
                             apr_pool_t* pool, FileSystem& fs, bool lockHeld,
                             std::string* why);
  // The category "transact.TransactionEngine".
  static log4cpp::Category& log();

  bool has_mutex_ = false;
  apr_pool_t* pool_ = nullptr;
  apr_pool_t* parentPool;
  TransactionalExternalInterface* external;
  std::vector<std::unique_ptr<Transactional>> transactionals;
  TransactionState state = VQTRANSACTION_GENESIS;
  std::vector<TransactionException> errors;
  FileSystem& fs_;
  // The journal this engine wrote (or read for recovery) is on disk.
  bool journalStored_ = false;
  // A failure left the journal on disk for recovery.
  bool kept_ = false;
  // Why an operation's prepare threw (its backup failed, say).
  std::string prepareFailure_;
  // This engine works under the lock of the engine that made it (recovery
  // before a transaction): taking and releasing only change has_mutex_.
  bool borrowedLock_ = false;

  static TransactionMutex transaction_mutex_;
};

std::ostream& operator<<(std::ostream& out, TransactionEngine& engine);
std::istream& operator>>(std::istream& in, TransactionEngine& engine);

#endif  // VQ_TRANSACT_TRANSACTION_ENGINE_H_
