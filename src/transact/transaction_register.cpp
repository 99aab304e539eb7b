#include "transact/transaction_register.h"

#include <log4cpp/Category.hh>

#include <string>

#include "transact/transactional_file_delete.h"
#include "transact/transactional_file_move.h"
#include "transact/transactional_launch.h"
#include "transact/transactional_null.h"
#include "transact/transactional_quit.h"
#include "transact/transactional_set_application_env.h"
#include "transact/transactional_upgrade.h"

namespace {

const char* kindName(int serial) {
  switch (serial) {
    case TransactionalNull::kSerial:
      return "null";
    case TransactionalFileMove::kSerial:
      return "fileMove";
    case TransactionalFileDelete::kSerial:
      return "fileDelete";
    case TransactionalUpgrade::kSerial:
      return "upgrade";
    case TransactionalQuit::kSerial:
      return "quit";
    case TransactionalSetApplicationEnv::kSerial:
      return "setappenv";
    default:
      return "UNKNOWN";
  }
}

}  // namespace

Transactional* TransactionRegister::create(int serial, apr_pool_t* pool) {
  log4cpp::Category& log =
      log4cpp::Category::getInstance("transact.TransactionRegister");
  if (log.isDebugEnabled()) {
    log.debug("Creating transactional " + std::to_string(serial) + "[" +
              kindName(serial) + "]");
  }
  switch (serial) {
    case TransactionalNull::kSerial:
      return new TransactionalNull(pool);
    case TransactionalFileMove::kSerial:
      return new TransactionalFileMove(pool);
    case TransactionalFileDelete::kSerial:
      return new TransactionalFileDelete(pool);
    case TransactionalUpgrade::kSerial:
      return new TransactionalUpgrade(pool);
    case TransactionalQuit::kSerial:
      return new TransactionalQuit(pool);
    case TransactionalLaunch::kSerial:
      return new TransactionalLaunch(pool);
    case TransactionalSetApplicationEnv::kSerial:
      return new TransactionalSetApplicationEnv(pool);
    default:
      return nullptr;
  }
}
