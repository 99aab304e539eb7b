#include "main/product_paths.h"

#include <unistd.h>

#include <climits>

#include "app/built_in_description.h"
#include "app/vq_application_settings.h"

namespace vq_main {

ProductPaths resolveProductPaths(const char* argv0, const std::string& cwd,
                                 const std::string& home,
                                 const char* description, const char* vendor,
                                 apr_pool_t* pool) {
  ProductPaths paths;
  paths.layout = computeInstallationLayout(argv0, cwd);
  const VqApplicationSettings settings(paths.layout.dirApp.c_str(), pool);
  paths.described =
      readBuiltInDescription(description, settings, &paths.identity);
  if (paths.described && !paths.identity.name.empty()) {
    paths.dataDir = dataDirectoryPath(home, vendor != nullptr ? vendor : "",
                                      paths.identity.name);
  }
  return paths;
}

std::string currentDirectory() {
  char buffer[PATH_MAX + 1];
  return getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : "";
}

}  // namespace vq_main
