#ifndef VQ_SUPPORT_APR_POOL_H_
#define VQ_SUPPORT_APR_POOL_H_

#include <apr_pools.h>

namespace apr {

// Owns one APR pool: top-level unless a parent is given. The destructor
// clears and destroys it (a child is destroyed alone; destroying its parent
// first is the caller's error). Requires apr_initialize() to have run.
// Throws std::bad_alloc when APR cannot create the pool.
class Pool {
 public:
  Pool();
  explicit Pool(apr_pool_t* parent);
  ~Pool();

  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  apr_pool_t* get() const { return pool_; }
  operator apr_pool_t*() const { return pool_; }  // NOLINT: APR-style use

  // Frees everything allocated in the pool; the pool stays usable.
  void clear() { apr_pool_clear(pool_); }

 private:
  apr_pool_t* pool_ = nullptr;
};

}  // namespace apr

#endif  // VQ_SUPPORT_APR_POOL_H_
