// The journal half of TransactionEngine: its byte image, the durable writes
// of that image, and recovery from it at start.
#include <log4cpp/Category.hh>

#include <cstring>
#include <istream>
#include <ostream>
#include <sstream>

#include "support/apr_status.h"
#include "transact/file_backup.h"
#include "transact/file_system.h"
#include "transact/sync_batch.h"
#include "transact/transaction_engine.h"
#include "transact/transaction_register.h"

const char* const TransactionEngine::transactionDb = ".transaction.dat";

namespace {

// Strings are read in bounded pieces so that a corrupt length cannot make
// us allocate gigabytes before the stream runs dry.
constexpr std::size_t kReadPiece = 64 * 1024;

std::string journalTemporaryName() {
  return std::string(TransactionEngine::transactionDb) + ".tmp";
}

}  // namespace

std::ostream& TransactionEngine::serializeSize(std::ostream& out,
                                               std::uint32_t size) {
  char bytes[sizeof(size)];
  std::memcpy(bytes, &size, sizeof(size));
  return out.write(bytes, sizeof(bytes));
}

std::istream& TransactionEngine::deserializeSize(std::istream& in,
                                                 std::uint32_t& size) {
  char bytes[sizeof(size)];
  if (in.read(bytes, sizeof(bytes))) std::memcpy(&size, bytes, sizeof(size));
  return in;
}

std::ostream& TransactionEngine::serializeString(std::ostream& out,
                                                 const std::string& text) {
  serializeSize(out, static_cast<std::uint32_t>(text.size()));
  return out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::istream& TransactionEngine::deserializeString(std::istream& in,
                                                   std::string& text) {
  std::uint32_t length = 0;
  if (!deserializeSize(in, length)) return in;
  std::string bytes;
  char piece[kReadPiece];
  std::size_t left = length;
  while (left > 0) {
    std::size_t want = left < kReadPiece ? left : kReadPiece;
    if (!in.read(piece, static_cast<std::streamsize>(want))) return in;
    bytes.append(piece, want);
    left -= want;
  }
  // The text ends at an embedded NUL, as a C string read back would.
  text.assign(bytes.c_str());
  return in;
}

std::ostream& operator<<(std::ostream& out, TransactionEngine& engine) {
  TransactionEngine::serializeSize(out, engine.state);
  TransactionEngine::serializeSize(
      out, static_cast<std::uint32_t>(engine.transactionals.size()));
  for (const auto& operation : engine.transactionals) {
    TransactionEngine::serializeSize(
        out, static_cast<std::uint32_t>(operation->getSerial()));
    operation->store(out);
  }
  return out;
}

std::istream& operator>>(std::istream& in, TransactionEngine& engine) {
  log4cpp::Category& log = TransactionEngine::log();
  const bool debugOn = log.isDebugEnabled();
  if (debugOn) log.debug("Extracting transaction from stream");
  engine.clear(true);
  std::uint32_t state = 0;
  if (!TransactionEngine::deserializeSize(in, state)) {
    log.error("Transaction journal ends before its state");
    engine.state = VQTRANSACTION_ZERO;
    return in;
  }
  engine.state = static_cast<TransactionState>(state);
  // A GENESIS journal's records are read too (unlike ZERO, which no engine
  // writes): recovery cleans up the backups that prepare had made.
  if (engine.state == VQTRANSACTION_ZERO) return in;
  std::uint32_t count = 0;
  if (!TransactionEngine::deserializeSize(in, count)) return in;
  if (debugOn) {
    log.debug("State = " + std::to_string(state) +
              ", nTransactions = " + std::to_string(count));
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t serial = 0;
    if (!TransactionEngine::deserializeSize(in, serial)) {
      log.error("Transaction journal ends after " + std::to_string(i) +
                " of " + std::to_string(count) + " records");
      break;
    }
    if (debugOn) {
      log.debug("About to deserialize transactional, serial = " +
                std::to_string(serial));
    }
    std::unique_ptr<Transactional> operation(TransactionRegister::create(
        static_cast<int>(serial), engine.pool()));
    if (!operation) {
      log.error("Failed to restore transactional with serial: " +
                std::to_string(serial));
      continue;
    }
    operation->setTransactionalExternalInterface(engine.external);
    operation->setFileSystem(&engine.fs_);
    operation->restore(in);
    if (in.fail()) {
      // A torn record would name the wrong files; leave it out.
      log.error("Transaction journal ends inside record " +
                std::to_string(i) + " (serial " + std::to_string(serial) +
                ")");
      break;
    }
    engine.transactionals.push_back(std::move(operation));
    engine.debug();
  }
  return in;
}

void TransactionEngine::store() {
  std::ostringstream image;
  image << *this;
  const std::string temporary = journalTemporaryName();
  // Written aside, flushed, then renamed into place: a crash leaves either
  // no journal or the whole of it, never a torn one.
  apr_status_t status =
      fs_.writeFile(temporary, image.str(), APR_FPROT_UREAD | APR_FPROT_UWRITE);
  if (status == APR_SUCCESS) status = fs_.flushFile(temporary);
  if (status == APR_SUCCESS) status = fs_.rename(temporary, transactionDb);
  if (status != APR_SUCCESS) {
    std::string ignored;
    removeIfPresent(fs_, temporary, &ignored);
    throw TransactionException(
        std::string("Cannot write the transaction journal ") + transactionDb +
        ": " + aprStatus(status));
  }
  journalStored_ = true;
  status = fs_.flushDirectory(SyncBatch::directoryOf(transactionDb));
  if (status != APR_SUCCESS) {
    throw TransactionException(
        std::string("Cannot make the transaction journal ") + transactionDb +
        " durable: " + aprStatus(status));
  }
}

void TransactionEngine::writeState(TransactionState newState) {
  if (!journalStored_) return;
  char bytes[sizeof(std::uint32_t)];
  const std::uint32_t number = newState;
  std::memcpy(bytes, &number, sizeof(number));
  apr_status_t status =
      fs_.writeStart(transactionDb, std::string(bytes, sizeof(bytes)));
  if (status == APR_SUCCESS) status = fs_.flushFile(transactionDb);
  if (status != APR_SUCCESS) {
    log().error("Failed to record state " + transactionStateLabel(newState) +
                " in the transaction journal: " + aprStatus(status));
    throw TransactionException("Cannot record " +
                               transactionStateLabel(newState) +
                               " in the transaction journal: " +
                               aprStatus(status));
  }
}

void TransactionEngine::finishUnfinishedTransaction() {
  FileSystem::Info info;
  const apr_status_t status = fs_.stat(transactionDb, &info);
  if (APR_STATUS_IS_ENOENT(status)) return;
  std::string why;
  if (status != APR_SUCCESS) {
    why = std::string("cannot look for it: ") + aprStatus(status);
  } else if (recoverJournal(external, pool_, fs_, true, &why)) {
    return;
  }
  throw TransactionException(
      "An unfinished transaction is on disk and could not be finished (" +
      why + "); no transaction runs until it is");
}

bool TransactionEngine::finishRecovered(std::string* why) {
  try {
    switch (state) {
      case VQTRANSACTION_EXECUTE:
      case VQTRANSACTION_ROLLBACK:
        rollback();
        break;
      case VQTRANSACTION_COMMIT:
        commit();
        break;
      case VQTRANSACTION_ZERO:
      case VQTRANSACTION_GENESIS:
        // Nothing was executed; remove what prepare may have left behind.
        setState(VQTRANSACTION_GENESIS);
        break;
      case VQTRANSACTION_PREPARE:
      case VQTRANSACTION_CLEANUP:
        break;
      default: {
        // An unknown state says nothing usable: the journal just goes.
        const apr_status_t status = fs_.remove(transactionDb);
        if (status == APR_SUCCESS || APR_STATUS_IS_ENOENT(status)) {
          journalStored_ = false;
          return true;
        }
        *why = std::string("cannot remove it: ") + aprStatus(status);
        return false;
      }
    }
  } catch (const TransactionException& e) {
    *why = e.what();
    return false;
  }
  for (const TransactionException& error : errors) {
    log().error(std::string("Recovery error: ") + error.what());
  }
  if (!errors.empty()) {
    *why = std::string("its ") +
           (state == VQTRANSACTION_COMMIT ? "commit" : "rollback") +
           " failed: " + errors.front().what();
    return false;
  }
  cleanup();
  if (kept_) {
    *why = "its cleanup failed";
    return false;
  }
  return true;
}

bool TransactionEngine::recoverJournal(TransactionalExternalInterface* external,
                                       apr_pool_t* pool, FileSystem& fs,
                                       bool lockHeld, std::string* why) {
  log4cpp::Category& log = TransactionEngine::log();
  // A crash while the journal was being written leaves only its ".tmp".
  std::string ignored;
  removeIfPresent(fs, journalTemporaryName(), &ignored);
  FileSystem::Info info;
  apr_status_t status = fs.stat(transactionDb, &info);
  if (APR_STATUS_IS_ENOENT(status)) {
    if (log.isDebugEnabled()) {
      log.debug("init found no transaction in progress");
    }
    return true;
  }
  if (log.isDebugEnabled()) {
    log.debug("init found incomplete transaction underway");
  }
  std::string bytes;
  if (status == APR_SUCCESS) status = fs.readFile(transactionDb, &bytes);
  if (status != APR_SUCCESS) {
    // Unreadable is not empty: what it holds may be all that tells which
    // backups belong where. It stays until it can be read.
    *why = std::string("cannot read the transaction journal: ") +
           aprStatus(status);
    log.error("Recovery failed, " + *why + "; it is kept");
    return false;
  }
  TransactionEngine engine(external, pool, &fs);
  engine.borrowedLock_ = lockHeld;
  std::istringstream in(bytes);
  in >> engine;
  engine.journalStored_ = true;
  engine.debug();
  if (engine.finishRecovered(why)) return true;
  log.error("Recovery failed, the transaction journal is kept: " + *why);
  return false;
}

bool TransactionEngine::init(TransactionalExternalInterface* external,
                             apr_pool_t* pool, FileSystem* fileSystem) {
  std::string why;
  return recoverJournal(external, pool,
                        fileSystem != nullptr ? *fileSystem
                                              : FileSystem::real(),
                        false, &why);
}

void TransactionEngine::destroy(apr_pool_t* pool) {
  (void)pool;
  if (log().isDebugEnabled()) log().debug("destroy()");
  if (pathPresent(FileSystem::real(), transactionDb)) {
    throw std::string(
        "TransactionEngine::destroy called but transaction still in "
        "progress.");
  }
}

void TransactionEngine::debugFile(const char* file, apr_pool_t* pool) {
  std::string bytes;
  FileSystem::real().readFile(file != nullptr ? file : transactionDb, &bytes);
  TransactionEngine engine(nullptr, pool);
  std::istringstream in(bytes);
  in >> engine;
  if (log().isDebugEnabled()) log().debug(engine.dump());
}
