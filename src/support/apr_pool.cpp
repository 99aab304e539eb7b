#include "support/apr_pool.h"

#include <new>

namespace apr {

Pool::Pool() : Pool(nullptr) {}

Pool::Pool(apr_pool_t* parent) {
  if (apr_pool_create(&pool_, parent) != APR_SUCCESS || pool_ == nullptr) {
    throw std::bad_alloc();
  }
}

Pool::~Pool() {
  // apr_pool_destroy clears the pool (running its cleanups) first.
  apr_pool_destroy(pool_);
}

}  // namespace apr
