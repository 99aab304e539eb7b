#ifndef VQ_MAIN_PRODUCT_PATHS_H_
#define VQ_MAIN_PRODUCT_PATHS_H_

#include <apr_pools.h>

#include <string>

#include "app/installation_layout.h"
#include "lifecycle/vq_application.h"

namespace vq_main {

// Where the agent started as `argv0` keeps its installation and its data,
// worked out by the same rules as the agent's own start-up, but without
// creating, changing or even looking at anything under the home directory.
struct ProductPaths {
  InstallationLayout layout;
  // The built-in description with the installation's overrides applied.
  VqApplication::Identity identity;
  // False when the built-in description does not parse; `identity` then
  // holds only defaults and `dataDir` is empty.
  bool described = false;
  // `home`/Library/Application Support/<vendor>/<name>, or empty when the
  // product has no name.
  std::string dataDir;
};

// Reads the installation's "vqapplication.xml" (beside the executable) with
// `pool`; `home` is only used as text, so "~" gives a path to show a person.
ProductPaths resolveProductPaths(const char* argv0, const std::string& cwd,
                                 const std::string& home,
                                 const char* description, const char* vendor,
                                 apr_pool_t* pool);

// The current working directory, or empty when it cannot be read.
std::string currentDirectory();

}  // namespace vq_main

#endif  // VQ_MAIN_PRODUCT_PATHS_H_
