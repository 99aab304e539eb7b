#include "main/agent_status.h"

#include <algorithm>
#include <cctype>

#include "app/vq_connect_settings.h"
#include "main/agent_query.h"
#include "main/small_file.h"
#include "support/path.h"
#include "transact/transaction_engine.h"

namespace vq_main {

const char kServerAddressFile[] = "vq.server";
const char kLockFileSuffix[] = ".lock";
const char kLogFile[] = "vq.log";

namespace {

// Far more than an address or a pid needs; a larger file is not the agent's.
constexpr std::size_t kSmallFileLimit = 256;

std::vector<std::string> splitServers(const std::string& joined) {
  std::vector<std::string> servers;
  std::size_t start = 0;
  while (start < joined.size()) {
    std::size_t end = joined.find(',', start);
    if (end == std::string::npos) end = joined.size();
    if (end > start) servers.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return servers;
}

// The servers the agent would try, in file order rather than its random
// order: the connect settings, then the built-in servers they lack.
std::vector<std::string> configuredServers(const ProductPaths& paths,
                                           apr_pool_t* pool) {
  std::vector<std::string> servers;
  const std::string connectFile =
      (path(paths.dataDir) << VqConnectSettings::vqConnectFilename).str();
  // Reading a missing file would log an error; there is nothing to read.
  if (pathExists(connectFile)) {
    VqConnectSettings settings(pool, connectFile);
    servers = settings.getServers();
  }
  for (const std::string& server : paths.identity.defaultServers) {
    if (std::find(servers.begin(), servers.end(), server) == servers.end()) {
      servers.push_back(server);
    }
  }
  return servers;
}

void askRunningAgent(const AgentQuery& agent, AgentStatus* status) {
  status->running = agent.version().has_value();
  if (!status->running) return;
  const auto value = [&agent](const char* name) {
    return agent.variable(name).value_or("");
  };
  status->lastUpdate = value("update.last");
  status->updateResult = value("update.result");
  status->nextUpdate = value("update.next");
  status->passCount = value("update.count");
  if (const std::optional<std::string> servers = agent.variable("servers")) {
    status->servers = splitServers(*servers);
    status->serversFromAgent = true;
  }
}

}  // namespace

std::optional<long> parseLockPid(const std::string& content) {
  std::string digits = content;
  if (!digits.empty() && digits.back() == '\n') digits.pop_back();
  // Ten digits cover every pid Linux hands out (at most 2^22).
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  long pid = 0;
  for (const char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  if (pid <= 0) return std::nullopt;
  return pid;
}

AgentStatus collectStatus(const ProductPaths& paths,
                          std::shared_ptr<host::HttpTransport> transport,
                          apr_pool_t* pool) {
  AgentStatus status;
  status.productName = paths.identity.name;
  status.dataDir = paths.dataDir;
  if (status.dataDir.empty()) return status;
  status.dataDirExists = pathExists(status.dataDir);

  const auto inDataDir = [&status](const std::string& name) {
    return (path(status.dataDir) << name).str();
  };
  if (const auto lock = readSmallRegularFile(
          status.dataDir + kLockFileSuffix, kSmallFileLimit)) {
    status.lockPid = parseLockPid(*lock);
  }
  status.transactionPending =
      pathExists(inDataDir(TransactionEngine::transactionDb));

  const std::string addressFile = inDataDir(kServerAddressFile);
  if (const auto address = readSmallRegularFile(addressFile, kSmallFileLimit)) {
    if (const std::optional<unsigned short> port =
            parseServerAddress(*address)) {
      status.addressFile = AgentStatus::AddressFile::kPresent;
      status.address = "127.0.0.1:" + std::to_string(*port);
      askRunningAgent(AgentQuery(std::move(transport), *port), &status);
    } else {
      status.addressFile = AgentStatus::AddressFile::kMalformed;
    }
  } else if (pathExists(addressFile)) {
    status.addressFile = AgentStatus::AddressFile::kMalformed;
  }
  if (!status.serversFromAgent) status.servers = configuredServers(paths, pool);
  return status;
}

}  // namespace vq_main
