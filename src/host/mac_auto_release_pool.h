#ifndef VQ_HOST_MAC_AUTO_RELEASE_POOL_H_
#define VQ_HOST_MAC_AUTO_RELEASE_POOL_H_

namespace host {

// A scope around one unit of work (an update pass) in which the platform
// may collect the temporary objects it hands out, released at the scope's
// end. Linux hands out no such objects, so this implementation has nothing
// to collect; it exists so the update thread's code is the same everywhere.
class MacAutoReleasePool {
 public:
  MacAutoReleasePool();
  ~MacAutoReleasePool();

  MacAutoReleasePool(const MacAutoReleasePool&) = delete;
  MacAutoReleasePool& operator=(const MacAutoReleasePool&) = delete;
};

}  // namespace host

#endif  // VQ_HOST_MAC_AUTO_RELEASE_POOL_H_
