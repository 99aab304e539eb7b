#include "transact/transactional.h"

#include "transact/file_system.h"
#include "transact/transaction_engine.h"

Transactional::Transactional(log4cpp::Category& categ)
    : logger(categ), fs_(&FileSystem::real()) {}

Transactional::~Transactional() = default;

void Transactional::addWrittenPaths(TransactionState, SyncBatch&) const {}

std::ostream& Transactional::serializeString(std::ostream& out,
                                             const std::string& text) const {
  return TransactionEngine::serializeString(out, text);
}

std::istream& Transactional::deserializeString(std::istream& in,
                                               std::string& text) const {
  return TransactionEngine::deserializeString(in, text);
}

std::ostream& Transactional::serializeSize(std::ostream& out,
                                           std::uint32_t size) const {
  return TransactionEngine::serializeSize(out, size);
}

std::istream& Transactional::deserializeSize(std::istream& in,
                                             std::uint32_t& size) const {
  return TransactionEngine::deserializeSize(in, size);
}
