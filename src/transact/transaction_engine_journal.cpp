// The journal half of TransactionEngine: its byte image, the durable writes
// of that image, and recovery from it at start.
#include <apr_file_io.h>
#include <log4cpp/Category.hh>

#include <cstring>
#include <istream>
#include <ostream>
#include <sstream>

#include "support/apr_file.h"
#include "support/apr_utils.h"
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

// Writes `bytes` to `name`, truncating it, and flushes it to the disk.
bool writeDurably(const std::string& name, const std::string& bytes,
                  apr_pool_t* pool) {
  apr_file_t* file = nullptr;
  if (apr_file_open(&file, name.c_str(),
                    APR_FOPEN_WRITE | APR_FOPEN_CREATE | APR_FOPEN_TRUNCATE |
                        APR_FOPEN_BINARY,
                    APR_FPROT_UREAD | APR_FPROT_UWRITE, pool) != APR_SUCCESS) {
    return false;
  }
  apr_size_t written = 0;
  bool ok = apr_file_write_full(file, bytes.data(), bytes.size(), &written) ==
                APR_SUCCESS &&
            apr_file_datasync(file) == APR_SUCCESS;
  ok = apr_file_close(file) == APR_SUCCESS && ok;
  return ok;
}

// The whole file, or false when it cannot be read.
bool readWhole(const char* name, std::string& bytes, apr_pool_t* pool) {
  try {
    apr::File file(name, APR_FOPEN_READ | APR_FOPEN_BINARY, APR_OS_DEFAULT,
                   pool);
    char buffer[8192];
    unsigned long count = 0;
    while ((count = file.read(buffer, sizeof(buffer))) > 0) {
      bytes.append(buffer, count);
    }
    return true;
  } catch (const apr::Exception&) {
    return false;
  }
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
  if (!writeDurably(temporary, image.str(), pool_)) {
    log().error(std::string("Failed to write the transaction journal ") +
                temporary);
    apr_file_remove(temporary.c_str(), pool_);
    return;
  }
  apr_status_t status =
      apr_file_rename(temporary.c_str(), transactionDb, pool_);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, log(), status,
           "Failed to put the transaction journal %s in place",
           transactionDb);
    apr_file_remove(temporary.c_str(), pool_);
    return;
  }
  SyncBatch batch;
  batch.addDirectoryOf(transactionDb);
  batch.flush(pool_);
}

void TransactionEngine::writeState(TransactionState newState) {
  apr_file_t* file = nullptr;
  if (apr_file_open(&file, transactionDb,
                    APR_FOPEN_READ | APR_FOPEN_WRITE | APR_FOPEN_BINARY,
                    APR_OS_DEFAULT, pool_) != APR_SUCCESS) {
    return;
  }
  char bytes[sizeof(std::uint32_t)];
  const std::uint32_t number = newState;
  std::memcpy(bytes, &number, sizeof(number));
  apr_size_t written = 0;
  if (apr_file_write_full(file, bytes, sizeof(bytes), &written) !=
          APR_SUCCESS ||
      apr_file_datasync(file) != APR_SUCCESS) {
    log().error("Failed to record state " + transactionStateLabel(newState) +
                " in the transaction journal");
  }
  apr_file_close(file);
}

void TransactionEngine::init(TransactionalExternalInterface* external,
                             apr_pool_t* pool) {
  log4cpp::Category& log = TransactionEngine::log();
  // A crash while the journal was being written leaves only its ".tmp".
  apr_file_remove(journalTemporaryName().c_str(), pool);
  if (!apr_file_exists(transactionDb, pool)) {
    if (log.isDebugEnabled()) {
      log.debug("init found no transaction in progress");
    }
    return;
  }
  if (log.isDebugEnabled()) {
    log.debug("init found incomplete transaction underway");
  }
  std::string bytes;
  readWhole(transactionDb, bytes, pool);
  TransactionEngine engine(external, pool);
  std::istringstream in(bytes);
  in >> engine;
  engine.debug();

  switch (engine.state) {
    case VQTRANSACTION_EXECUTE:
    case VQTRANSACTION_ROLLBACK:
      engine.rollback();
      engine.cleanup();
      break;
    case VQTRANSACTION_COMMIT:
      engine.commit();
      engine.cleanup();
      break;
    case VQTRANSACTION_ZERO:
    case VQTRANSACTION_GENESIS:
      // Nothing was executed; remove what prepare may have left behind.
      engine.setState(VQTRANSACTION_GENESIS);
      engine.cleanup();
      break;
    case VQTRANSACTION_PREPARE:
    case VQTRANSACTION_CLEANUP:
      engine.cleanup();
      break;
    default:
      break;
  }
  for (const TransactionException& error : engine.errors) {
    log.error(std::string("Recovery error: ") + error.what());
  }
  apr_file_remove(transactionDb, pool);
}

void TransactionEngine::destroy(apr_pool_t* pool) {
  if (log().isDebugEnabled()) log().debug("destroy()");
  if (apr_file_exists(transactionDb, pool)) {
    throw std::string(
        "TransactionEngine::destroy called but transaction still in "
        "progress.");
  }
}

void TransactionEngine::debugFile(const char* file, apr_pool_t* pool) {
  std::string bytes;
  readWhole(file != nullptr ? file : transactionDb, bytes, pool);
  TransactionEngine engine(nullptr, pool);
  std::istringstream in(bytes);
  in >> engine;
  if (log().isDebugEnabled()) log().debug(engine.dump());
}
