#include "transact/transaction_engine.h"

#include <apr_file_io.h>
#include <log4cpp/Category.hh>

#include <cassert>
#include <sstream>
#include <utility>

#include "support/apr_status.h"
#include "transact/sync_batch.h"

namespace {

const char* boolText(bool value) { return value ? "true" : "false"; }

}  // namespace

TransactionMutex TransactionEngine::transaction_mutex_;

log4cpp::Category& TransactionEngine::log() {
  static log4cpp::Category& category =
      log4cpp::Category::getInstance("transact.TransactionEngine");
  return category;
}

TransactionEngine::TransactionEngine(TransactionalExternalInterface* ext,
                                     apr_pool_t* parent)
    : parentPool(parent), external(ext) {
  apr_status_t status = apr_pool_create(&pool_, parentPool);
  if (status != APR_SUCCESS) {
    pool_ = nullptr;
    log().error(std::string(__FILE__) + ":" + std::to_string(__LINE__) +
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
  transaction_mutex_.lock();
  has_mutex_ = true;
  if (log().isDebugEnabled()) log().debug("Mutex lock acquired.");
}

void TransactionEngine::releaseTransactionMutex() {
  if (!has_mutex_) {
    log().warn("releaseTransactionMutex() called, but lock not held.");
    return;
  }
  has_mutex_ = false;
  transaction_mutex_.unlock();
  if (log().isDebugEnabled()) log().debug("Mutex lock released.");
}

void TransactionEngine::syncWrittenPaths(TransactionState completed) {
  SyncBatch batch;
  for (const auto& operation : transactionals) {
    operation->addWrittenPaths(completed, batch);
  }
  if (batch.empty()) return;
  int failures = batch.flush(pool_);
  if (failures != 0) {
    log().error("Failed to flush " + std::to_string(failures) +
                " file(s) written during " + transactionStateLabel(completed));
  }
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
      apr_file_remove(transactionDb, pool_);
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
  for (const auto& operation : transactionals) {
    bool ok = false;
    try {
      ok = operation->prepare();
    } catch (const std::string& text) {
      log().warn("prepare() transaction threw string err: " + text);
    } catch (const std::exception& e) {
      log().warn(std::string("prepare() transaction threw exception err: ") +
                 e.what());
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
  setState(VQTRANSACTION_CLEANUP);
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
  setState(VQTRANSACTION_COMPLETE);
  releaseTransactionMutex();
}

void TransactionEngine::cleanupTransaction() {
  if (state != VQTRANSACTION_COMPLETE) cleanup();
}

bool TransactionEngine::executeTransaction() {
  const bool debugOn = log().isDebugEnabled();
  if (debugOn) log().debug("executeTransaction()");
  bool ok = prepare();
  if (debugOn) log().debug(std::string("prepare() returned ") + boolText(ok));
  if (ok) {
    ok = execute();
    if (debugOn) {
      log().debug(std::string("execute() returned ") + boolText(ok));
    }
    if (ok) {
      commit();
    } else {
      rollback();
    }
  }
  cleanup();
  if (errors.empty()) {
    if (debugOn) {
      log().debug(std::string("executeTransaction exiting with result=") +
                  boolText(ok));
      debug();
    }
    return ok;
  }
  std::string text;
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (i != 0) text += '\n';
    text += errors[i].what();
  }
  throw TransactionException(text);
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
