#ifndef VQ_SUPPORT_SOURCE_LOCATION_H_
#define VQ_SUPPORT_SOURCE_LOCATION_H_

#include <string>

// The last component of a __FILE__ path. Messages carry "(file:line)"
// locations, and some reach the update servers in error reports: the base
// name says where without giving away the build machine's paths.
constexpr const char* sourceBaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/') base = p + 1;
  }
  return base;
}

// The calling file's base name, for "%s:%d" formats.
#define VQ_SOURCE_FILE sourceBaseName(__FILE__)
// "file.cpp:123" for the line where it stands.
#define VQ_SOURCE_LOCATION \
  (std::string(VQ_SOURCE_FILE) + ":" + std::to_string(__LINE__))

#endif  // VQ_SUPPORT_SOURCE_LOCATION_H_
