// The update server list: connect-settings servers first, then the built-in
// defaults they lack, each group in random order to spread the load.

#include <algorithm>

#include <log4cpp/Category.hh>

#include "app/vq_connect_settings.h"
#include "lifecycle/vq_application.h"
#include "support/path.h"
#include "support/vector_utils.h"

void VqApplication::orderServers(
    const std::vector<std::string>& connectServers,
    const std::vector<std::string>& defaultServers,
    std::vector<std::string>* out) {
  *out = connectServers;
  shuffleVector(*out, 0, 0);
  const size_t connectCount = out->size();
  for (const std::string& server : defaultServers) {
    if (std::find(out->begin(), out->end(), server) == out->end()) {
      out->push_back(server);
    }
  }
  if (out->size() > connectCount) {
    shuffleVector(*out, static_cast<int>(connectCount), 0);
  }
}

void VqApplication::getAllServers(std::vector<std::string>& out) {
  // The working directory is the data directory, so this is the same file as
  // the bare name; naming it through "dir.data" keeps the result independent
  // of the working directory.
  const std::string dataDir = getEnv(DIR_DATA);
  std::string fileName = VqConnectSettings::vqConnectFilename;
  if (!dataDir.empty()) fileName = (path(dataDir) << fileName).str();

  VqConnectSettings settings(getPool(), fileName);
  const std::vector<std::string> connectServers = settings.getServers();
  if (!settings.isOk()) {
    log4cpp::Category* log = getLog();
    if (log != nullptr) {
      log->warn("Error encountered reading vqConnectSettings: " +
                settings.getError());
    }
  }
  orderServers(connectServers, identity_.defaultServers, &out);
}
