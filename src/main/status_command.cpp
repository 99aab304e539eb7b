#include "main/status_command.h"

#include <cstdlib>
#include <iostream>

#include "host/http_transport.h"
#include "main/agent_status.h"
#include "main/product_paths.h"
#include "main/status_report.h"
#include "support/apr_pool.h"

namespace vq_main {

int runStatusCommand(const char* argv0, const char* description,
                     const char* vendor) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    std::cerr << "vqagent: HOME is not set, so there is no data directory "
                 "to look at.\n";
    return kStatusNotRunning;
  }
  const apr::Pool pool;
  const ProductPaths paths = resolveProductPaths(
      argv0, currentDirectory(), home, description, vendor, pool.get());
  const AgentStatus status =
      collectStatus(paths, host::createHttpTransport(), pool.get());
  std::cout << formatStatus(status) << std::flush;
  return statusExitCode(status);
}

}  // namespace vq_main
