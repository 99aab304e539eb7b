#ifndef VQ_APP_DATA_DIRECTORY_PATH_H_
#define VQ_APP_DATA_DIRECTORY_PATH_H_

#include <apr_pools.h>

#include <string>

// Resolves `tested` (absolute, or relative to `dataDir`) and returns the
// merged path when it is `dataDir` itself or lies below it; otherwise, and
// when `dataDir` is empty, the empty text (the refusal is logged).
// Containment is decided on real paths: the symbolic links of the part of the
// merged path that exists are resolved (as are those of `dataDir`), so a path
// that leaves the data directory through a link is refused, and so is one
// that passes through a dangling link. The merged text, not the resolved one,
// is returned.
std::string resolveInDataDir(const std::string& dataDir, const char* tested,
                             apr_pool_t* pool);

#endif  // VQ_APP_DATA_DIRECTORY_PATH_H_
