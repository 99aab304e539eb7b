#include "host/mac_auto_release_pool.h"

namespace host {

// Nothing to create or drain on Linux.
MacAutoReleasePool::MacAutoReleasePool() = default;
MacAutoReleasePool::~MacAutoReleasePool() = default;

}  // namespace host
