#include "support/file_permission_match_set.h"

#include <tinyxml.h>

#include <iostream>

FilePermissionMatchSet::FilePermissionMatchSet(const char* perm,
                                               apr_pool_t* pool) {
  matches_.emplace_back("*", perm, "blind", pool);
}

FilePermissionMatchSet::FilePermissionMatchSet(const TiXmlElement* element,
                                               apr_pool_t* pool) {
  if (element == nullptr)
    return;
  for (const TiXmlElement* match = element->FirstChildElement("match");
       match != nullptr; match = match->NextSiblingElement("match")) {
    matches_.emplace_back(match, pool);
  }
  const char* fallback = element->Attribute("default");
  if (fallback != nullptr) {
    matches_.emplace_back("*", fallback, element->Attribute("case"), pool);
  }
}

bool FilePermissionMatchSet::matchAndSet(const char* path) const {
  std::cout << "FNMS: matchAndSet(" << (path ? path : "") << ")" << std::endl;
  for (const FilePermissionMatch& match : matches_) {
    if (match.matchAndSet(path))
      return true;
  }
  return false;
}

void apr_dirWalkPost_setPermissions(void* data,
                                    const char* path,
                                    apr_pool_t* /*pool*/) {
  if (data == nullptr)
    return;
  std::cout << "apr_dirWalkPost_setPermissions(.., .., " << (path ? path : "")
            << ")" << std::endl;
  static_cast<const FilePermissionMatchSet*>(data)->matchAndSet(path);
}
