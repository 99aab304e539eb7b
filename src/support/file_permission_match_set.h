#ifndef VQ_SUPPORT_FILE_PERMISSION_MATCH_SET_H_
#define VQ_SUPPORT_FILE_PERMISSION_MATCH_SET_H_

#include <apr_pools.h>

#include <vector>

#include "support/file_permission_match.h"

class TiXmlElement;

// Ordered permission rules; the first rule whose pattern matches a path sets
// its permissions.
class FilePermissionMatchSet {
 public:
  // The single rule ("*", perm, "blind").
  FilePermissionMatchSet(const char* perm, apr_pool_t* pool);
  // The "match" children of `element` in order, then, when the element has
  // a "default" attribute, a last rule ("*", default, element's "case").
  FilePermissionMatchSet(const TiXmlElement* element, apr_pool_t* pool);

  // Tries the rules in order; true when one matched and set the
  // permissions, false (nothing changed) when none matched. Rule exceptions
  // propagate.
  bool matchAndSet(const char* path) const;

  const std::vector<FilePermissionMatch>& matches() const { return matches_; }

 private:
  std::vector<FilePermissionMatch> matches_;
};

// Callback for apr_copy_directory: applies the FilePermissionMatchSet given
// as `data` (ignored when null) to `path`.
void apr_dirWalkPost_setPermissions(void* data,
                                    const char* path,
                                    apr_pool_t* pool);

#endif  // VQ_SUPPORT_FILE_PERMISSION_MATCH_SET_H_
