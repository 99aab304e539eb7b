#ifndef VQ_SUPPORT_FILE_PERMISSION_MATCH_H_
#define VQ_SUPPORT_FILE_PERMISSION_MATCH_H_

#include <apr_pools.h>

#include <string>

class TiXmlElement;

// One permission rule: a shell-style pattern (apr_fnmatch, without
// APR_FNM_PATHNAME, so "*" also matches "/"; a leading period must be
// matched by a period) and a permission string of the extended grammar.
class FilePermissionMatch {
 public:
  // `caseMode` may be null; only the exact text "blind" makes the pattern
  // match without regard to case.
  FilePermissionMatch(const char* pattern,
                      const char* perm,
                      const char* caseMode,
                      apr_pool_t* pool);
  // Reads the attributes "pattern" and "perm" (required; std::runtime_error
  // "No pattern attribute in file permission match element." / "No perm
  // attribute in file permission match element.") and "case".
  FilePermissionMatch(const TiXmlElement* match, apr_pool_t* pool);

  FilePermissionMatch(const FilePermissionMatch&) = default;
  FilePermissionMatch& operator=(const FilePermissionMatch&) = default;

  // When the pattern matches `path`, computes the new permissions from the
  // path's current ones and sets them, returning true. Returns false when
  // the pattern does not match. Throws std::runtime_error when the path
  // cannot be examined or its permissions cannot be set, and the permission
  // parser's errors.
  bool matchAndSet(const char* path) const;

  const std::string& pattern() const { return pattern_; }
  const std::string& perm() const { return perm_; }
  int flags() const { return flags_; }

 private:
  apr_pool_t* pool_;  // borrowed
  std::string pattern_;
  std::string perm_;
  int flags_;
};

#endif  // VQ_SUPPORT_FILE_PERMISSION_MATCH_H_
