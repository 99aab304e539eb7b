#ifndef VQ_SUPPORT_APR_UTILS_H_
#define VQ_SUPPORT_APR_UTILS_H_

#include <apr_errno.h>
#include <apr_file_info.h>
#include <apr_pools.h>

#include <string>

#include "support/apr_permissions.h"
#include "support/apr_status.h"

// File and directory utilities over APR. Paths are NUL-terminated texts;
// every function allocates in the pool it is given.

// Called before an entry is visited; false means "do not descend into it".
typedef bool apr_dir_walk_pre_fn(void* data,
                                 apr_finfo_t* info,
                                 const char* relativePath,
                                 const char* fullPath,
                                 apr_pool_t* pool);
// Called after an entry (and, for a directory, its contents) is visited.
typedef void apr_dir_walk_post_fn(void* data,
                                  apr_finfo_t* info,
                                  const char* relativePath,
                                  const char* fullPath,
                                  apr_pool_t* pool);
// Called for every entry that apr_copy_directory created.
typedef void apr_copy_directory_fn(void* data,
                                   const char* destinationPath,
                                   apr_pool_t* pool);

// True when the path can be opened for reading (a readable directory too).
// Never blocks: a FIFO is opened without waiting for a writer.
bool apr_file_exists(const char* path, apr_pool_t* pool);
// True when the path can be opened as a directory.
bool apr_dir_exists(const char* path, apr_pool_t* pool);
// True when the path is a directory (a link to one counts). Throws
// std::runtime_error "apr_stat failed in apr_isdir(<path>,..)" when the
// path cannot be examined.
bool apr_isdir(const char* path, apr_pool_t* pool);
// The size in bytes, or 0 when the path cannot be examined.
long apr_file_size(const char* path, apr_pool_t* pool);

// The whole file (read in 8,192-byte blocks until end of file or a read
// error), or the text "ERROR: Failed to open" when it cannot be opened.
std::string apr_file_readString(const char* path, apr_pool_t* pool);

// Pre-order walk of `root`. `wanted` adds APR_FINFO_* flags to name and
// type, which are always requested. Pass rootLength = -1 on the outermost
// call. The relative path handed to the callbacks is the full path without
// the root and its "/". Either callback may be null. Throws
// std::runtime_error "Couldn't open <root>" when a directory cannot be
// opened; exceptions of the callbacks propagate.
void apr_dir_walk(const char* root,
                  apr_dir_walk_pre_fn* pre,
                  void* preData,
                  apr_dir_walk_post_fn* post,
                  void* postData,
                  apr_pool_t* pool,
                  int wanted = 0,
                  int rootLength = -1);

// Copies the tree `source` into `destination` (created with its missing
// parents), skipping every ".svn" entry at any depth. Files keep their
// permissions; `callback` (may be null) is called with each created path.
// Throws std::runtime_error on the first failure, leaving what was copied.
void apr_copy_directory(const char* source,
                        const char* destination,
                        apr_copy_directory_fn* callback,
                        void* callbackData,
                        apr_pool_t* pool);

// Removes a directory tree. A symbolic link is removed itself, never what it
// points to. Returns APR_SUCCESS or the first failing status.
apr_status_t apr_dir_remove_recursive(const char* path, apr_pool_t* pool);

#endif  // VQ_SUPPORT_APR_UTILS_H_
