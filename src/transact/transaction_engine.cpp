#include "transact/transaction_engine.h"

#include <log4cpp/Category.hh>

#include <cassert>
#include <sstream>
#include <utility>

#include "support/apr_status.h"
#include "support/source_location.h"
#include "support/string_util.h"
#include "transact/file_system.h"
#include "transact/sync_batch.h"

namespace {

// The cause of a failed transaction followed by the first `count` collected
// errors, one per line.
std::string joinFailures(const std::string& cause,
                         const std::vector<TransactionException>& errors,
                         std::size_t count) {
  std::string text = cause;
  for (std::size_t i = 0; i < count && i < errors.size(); ++i) {
    if (!text.empty()) text += '\n';
    text += errors[i].what();
  }
  return text;
}

}  // namespace

TransactionMutex TransactionEngine::transaction_mutex_;

log4cpp::Category& TransactionEngine::log() {
  static log4cpp::Category& category =
      log4cpp::Category::getInstance("transact.TransactionEngine");
  return category;
}

TransactionEngine::TransactionEngine(TransactionalExternalInterface* ext,
                                     apr_pool_t* parent, FileSystem* fileSystem)
    : parentPool(parent),
      external(ext),
      fs_(fileSystem != nullptr ? *fileSystem : FileSystem::real()) {
  apr_status_t status = apr_pool_create(&pool_, parentPool);
  if (status != APR_SUCCESS) {
    pool_ = nullptr;
    log().error(VQ_SOURCE_LOCATION +
                " Failed to create pool: " + aprStatus(status));
    throw TransactionException(
        "pool allocation failed in TransactionEngine constructor");
  }
  if (log().isDebugEnabled()) log().debug("TransactionEngine() constructed");
}

TransactionEngine::~TransactionEngine() {
  if (log().isDebugEnabled()) log().debug("~TransactionEngine");
  clear(true);
  apr_pool_destroy(pool_);
  if (has_mutex_) releaseTransactionMutex();
}

TransactionEngine& TransactionEngine::operator<<(Transactional* operation) {
  operation->setTransactionalExternalInterface(external);
  operation->setFileSystem(&fs_);
  transactionals.emplace_back(operation);
  return *this;
}

void TransactionEngine::clear(bool lockAfterwards) {
  if (log().isDebugEnabled()) log().debug("Clearing TransactionEngine pool");
  transactionals.clear();
  if (lockAfterwards) lockTransactionMutex();
}

void TransactionEngine::lockTransactionMutex() {
  if (log().isDebugEnabled()) log().debug("Attempting to lock mutex.");
  if (has_mutex_) {
    log().warn("Mutex lock already held.");
    return;
  }
  if (!borrowedLock_) transaction_mutex_.lock();
  has_mutex_ = true;
  if (log().isDebugEnabled()) log().debug("Mutex lock acquired.");
}

void TransactionEngine::releaseTransactionMutex() {
  if (!has_mutex_) {
    log().warn("releaseTransactionMutex() called, but lock not held.");
    return;
  }
  has_mutex_ = false;
  if (!borrowedLock_) transaction_mutex_.unlock();
  if (log().isDebugEnabled()) log().debug("Mutex lock released.");
}

void TransactionEngine::syncWrittenPaths(TransactionState completed) {
  SyncBatch batch;
  for (const auto& operation : transactionals) {
    operation->addWrittenPaths(completed, batch);
  }
  if (batch.empty()) return;
  std::string why;
  const int failures = batch.flush(fs_, &why);
  if (failures != 0) {
    log().error("Failed to flush " + std::to_string(failures) +
                " path(s) written during " +
                transactionStateLabel(completed) + ": " + why);
    throw TransactionException("Cannot make durable what " +
                               transactionStateLabel(completed) +
                               " wrote: " + why);
  }
}

void TransactionEngine::keepForRecovery(const std::string& why) {
  log().error("The transaction journal is kept for recovery: " + why);
  kept_ = true;
  if (has_mutex_) releaseTransactionMutex();
}

void TransactionEngine::setState(TransactionState newState) {
  assert(has_mutex_ && "setState requires the transaction lock");
  const std::uint32_t number = newState;
  const std::string numberText = std::to_string(number);
  if (log().isDebugEnabled()) log().debug("setState(" + numberText + ")");
  const char* name = transactionStateName(number);
  if (name == nullptr) {
    log().error("STATE NOT RECOGNIZED");
  } else if (log().isDebugEnabled()) {
    log().debug("setState(" + numberText + " = " + name + ")");
  }

  switch (newState) {
    case VQTRANSACTION_PREPARE:
      if (state != VQTRANSACTION_GENESIS) {
        throw TransactionException(
            "Cannot transition to VQTRANSACTION_PREPARE except from "
            "VQTRANSACTION_GENESIS");
      }
      store();
      break;
    case VQTRANSACTION_EXECUTE:
      if (state != VQTRANSACTION_PREPARE) {
        throw TransactionException(
            "Cannot transition to VQTRANSACTION_EXECUTE except from "
            "TRANSACTON_PREPARE");
      }
      syncWrittenPaths(VQTRANSACTION_PREPARE);
      writeState(VQTRANSACTION_EXECUTE);
      break;
    case VQTRANSACTION_COMMIT:
      if (state != VQTRANSACTION_EXECUTE && state != VQTRANSACTION_COMMIT) {
        throw TransactionException(
            "Cannot transition to VQTRANSACTION_COMMIT except from "
            "VQTRANSACTION_EXECUTE");
      }
      if (state == VQTRANSACTION_EXECUTE) {
        syncWrittenPaths(VQTRANSACTION_EXECUTE);
      }
      writeState(VQTRANSACTION_COMMIT);
      break;
    case VQTRANSACTION_ROLLBACK:
      if (state != VQTRANSACTION_EXECUTE && state != VQTRANSACTION_ROLLBACK) {
        throw TransactionException(
            "Cannot transition to VQTRANSACTION_ROLLBACK except from "
            "VQTRANSACTION_EXECUTE");
      }
      writeState(VQTRANSACTION_ROLLBACK);
      break;
    case VQTRANSACTION_CLEANUP:
      if (state != VQTRANSACTION_GENESIS && state != VQTRANSACTION_PREPARE &&
          state != VQTRANSACTION_COMMIT && state != VQTRANSACTION_ROLLBACK &&
          state != VQTRANSACTION_CLEANUP) {
        throw TransactionException(
            "Cannot transition to VQTRANSACTION_CLEANUP except from "
            "VQTRANSACTION_PREPARE, VQTRANSACTION_COMMIT or "
            "VQTRANSACTION_ROLLBACK");
      }
      if (state == VQTRANSACTION_ROLLBACK) {
        syncWrittenPaths(VQTRANSACTION_ROLLBACK);
      }
      writeState(VQTRANSACTION_CLEANUP);
      break;
    case VQTRANSACTION_COMPLETE:
      if (state != VQTRANSACTION_CLEANUP) {
        throw TransactionException(
            "Cannot transition to VQTRANSACTION_COMPLETE except from "
            "VQTRANSACTION_CLEANUP");
      }
      if (journalStored_) {
        // Left behind, it holds CLEANUP: recovery only cleans up again.
        const apr_status_t status = fs_.remove(transactionDb);
        if (status != APR_SUCCESS && !APR_STATUS_IS_ENOENT(status)) {
          log().error(std::string("Cannot remove the transaction journal: ") +
                      aprStatus(status));
        }
        journalStored_ = false;
      }
      clear(false);
      if (log().isDebugEnabled()) {
        log().debug("TransactionState: VQTRANSACTION_COMPLETE");
      }
      break;
    default:
      break;
  }
  state = newState;
  if (log().isDebugEnabled()) log().debug("state = " + numberText);
}

bool TransactionEngine::prepare() {
  setState(VQTRANSACTION_PREPARE);
  prepareFailure_.clear();
  for (const auto& operation : transactionals) {
    bool ok = false;
    try {
      ok = operation->prepare();
    } catch (const std::string& text) {
      log().warn("prepare() transaction threw string err: " + text);
      prepareFailure_ = text;
    } catch (const std::exception& e) {
      log().warn(std::string("prepare() transaction threw exception err: ") +
                 e.what());
      prepareFailure_ = e.what();
    }
    if (!ok) return false;
  }
  return true;
}

bool TransactionEngine::execute() {
  setState(VQTRANSACTION_EXECUTE);
  for (const auto& operation : transactionals) {
    bool ok = false;
    try {
      ok = operation->execute();
    } catch (const std::string& text) {
      log().warn("execute() transaction threw string error: " + text);
    } catch (const std::exception& e) {
      log().warn(std::string("execute() transaction threw std::exception: ") +
                 e.what());
    }
    if (!ok) return false;
  }
  return true;
}

void TransactionEngine::commit() {
  setState(VQTRANSACTION_COMMIT);
  for (const auto& operation : transactionals) {
    try {
      operation->commit();
    } catch (const std::string& text) {
      log().warn("commit() transaction threw err: " + text);
      errors.emplace_back(text);
    } catch (const std::exception& e) {
      log().warn(std::string("commit() transaction threw std::exception: ") +
                 e.what());
      errors.emplace_back(e.what());
    }
  }
}

void TransactionEngine::rollback() {
  setState(VQTRANSACTION_ROLLBACK);
  for (const auto& operation : transactionals) {
    try {
      operation->rollback();
    } catch (const std::string& text) {
      log().warn("rollback() transaction threw string error: " + text);
      errors.emplace_back(text);
    } catch (const std::exception& e) {
      log().warn(std::string("rollback() transaction threw std::exception: ") +
                 e.what());
      errors.emplace_back(e.what());
    }
  }
}

void TransactionEngine::cleanup() {
  try {
    setState(VQTRANSACTION_CLEANUP);
  } catch (const TransactionException& e) {
    keepForRecovery(std::string("CLEANUP could not be recorded: ") +
                    e.what());
    return;
  }
  const std::size_t before = errors.size();
  for (const auto& operation : transactionals) {
    try {
      operation->cleanup();
    } catch (const std::string& text) {
      log().warn("cleanup() transaction threw err: " + text);
      errors.emplace_back(text);
    } catch (const std::exception& e) {
      log().warn(std::string("cleanup() transaction threw std::exception: ") +
                 e.what());
      errors.emplace_back(e.what());
    }
  }
  if (errors.size() != before) {
    keepForRecovery("cleanup left files behind");
    return;
  }
  if (journalStored_) {
    // What cleanup removed must stay removed before the journal goes, or a
    // power cut could bring back backups that nothing would remove.
    try {
      syncWrittenPaths(VQTRANSACTION_CLEANUP);
    } catch (const TransactionException& e) {
      keepForRecovery(e.what());
      return;
    }
  }
  setState(VQTRANSACTION_COMPLETE);
  releaseTransactionMutex();
}

void TransactionEngine::cleanupTransaction() {
  if (state != VQTRANSACTION_COMPLETE && !kept_) cleanup();
}

bool TransactionEngine::executeTransaction() {
  const bool debugOn = log().isDebugEnabled();
  if (debugOn) log().debug("executeTransaction()");
  // Why the transaction stopped short: the journal, a backup or a flush
  // failed, or an unfinished transaction is in the way.
  std::string failure;
  bool ok = false;
  try {
    finishUnfinishedTransaction();
    ok = prepare();
    if (debugOn)
      log().debug(std::string("prepare() returned ") +
                  vq_support::BoolText(ok));
    if (!ok) failure = prepareFailure_;
    if (ok) {
      ok = execute();
      if (debugOn) {
        log().debug(std::string("execute() returned ") +
                    vq_support::BoolText(ok));
      }
    }
    if (ok) commit();
  } catch (const TransactionException& e) {
    failure = e.what();
    ok = false;
    log().error("Transaction stopped: " + failure);
  }
  if (!ok && state == VQTRANSACTION_EXECUTE) {
    // Execution began (or COMMIT could not be recorded): undo it.
    try {
      rollback();
    } catch (const TransactionException& e) {
      keepForRecovery(std::string("ROLLBACK could not be recorded: ") +
                      e.what());
      throw TransactionException(joinFailures(failure, errors, errors.size()));
    }
    if (!errors.empty()) {
      keepForRecovery("the rollback failed");
      throw TransactionException(joinFailures(failure, errors, errors.size()));
    }
  }
  // Errors of the cleanup do not change the outcome: they only keep the
  // journal, so that recovery removes what is left.
  const std::size_t beforeCleanup = errors.size();
  cleanup();
  if (beforeCleanup == 0 && failure.empty()) {
    if (debugOn) {
      log().debug(std::string("executeTransaction exiting with result=") +
                  vq_support::BoolText(ok));
      debug();
    }
    return ok;
  }
  throw TransactionException(joinFailures(failure, errors, beforeCleanup));
}

std::string TransactionEngine::dump() {
  std::ostringstream out;
  out << "-------------------\n{\n  state: " << transactionStateLabel(state)
      << "\n#transactions : " << transactionals.size() << "[\n";
  for (const auto& operation : transactionals) {
    out << operation->debugString() << "\n";
  }
  out << "]\n}";
  return out.str();
}

void TransactionEngine::debug() {
  if (log().isDebugEnabled()) log().debug(dump());
}

void TransactionEngine::debugTransaction(const char* text) {
  if (log().isDebugEnabled()) log().debug(text);
}
