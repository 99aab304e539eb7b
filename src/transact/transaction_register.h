#ifndef VQ_TRANSACT_TRANSACTION_REGISTER_H_
#define VQ_TRANSACT_TRANSACTION_REGISTER_H_

#include <apr_pools.h>

class Transactional;

// Recreates journalled operations from their serial numbers.
class TransactionRegister {
 public:
  // A new operation of the kind with `serial`, made with `pool`, owned by
  // the caller; null for serials with no kind (4, 7 and any other). The
  // crash test operation (7) is never recreated, so recovery cannot crash.
  static Transactional* create(int serial, apr_pool_t* pool);
};

#endif  // VQ_TRANSACT_TRANSACTION_REGISTER_H_
