#ifndef VQ_MAIN_AGENT_STATUS_H_
#define VQ_MAIN_AGENT_STATUS_H_

#include <apr_pools.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/http_transport.h"
#include "main/product_paths.h"

namespace vq_main {

// File names in (or, for the lock, beside) the data directory that the
// status reads; the agent writes them.
extern const char kServerAddressFile[];  // "vq.server"
extern const char kLockFileSuffix[];     // ".lock", after the data directory
extern const char kLogFile[];            // "vq.log"

// What can be told about the current user's agent. Texts that come from files
// or from the agent are kept as received; the report makes them safe to show.
struct AgentStatus {
  std::string productName;
  std::string dataDir;  // empty when the product has no usable description
  bool dataDirExists = false;

  // Whether "vq.server" is there and names a loopback port.
  enum class AddressFile { kAbsent, kMalformed, kPresent };
  AddressFile addressFile = AddressFile::kAbsent;
  std::string address;  // "127.0.0.1:PORT" when kPresent
  // True when an agent answered "/~cmd/version" at that address.
  bool running = false;
  // The pid in the single-instance lock file, when it holds one.
  std::optional<long> lockPid;

  // Asked of the running agent; empty when not running or not yet known.
  std::string lastUpdate;    // "update.last": the last successful update
  std::string updateResult;  // "update.result": "succeeded" or "failed"
  std::string nextUpdate;    // "update.next": when the next update is due
  std::string passCount;     // "update.count": passes of the update thread

  // The update servers: the running agent's list, else the data directory's
  // connect settings followed by the built-in ones they lack.
  std::vector<std::string> servers;
  bool serversFromAgent = false;

  // The transaction journal is in the data directory: a transaction is
  // running now, or (with no agent) waits to be completed or rolled back at
  // the next start.
  bool transactionPending = false;
};

// Reads the files of `paths.dataDir` and, when "vq.server" names a port,
// asks the agent there through `transport`. Creates and changes nothing.
AgentStatus collectStatus(const ProductPaths& paths,
                          std::shared_ptr<host::HttpTransport> transport,
                          apr_pool_t* pool);

// The pid in a lock file's content: decimal digits, optionally followed by
// one line break; nothing for anything else.
std::optional<long> parseLockPid(const std::string& content);

}  // namespace vq_main

#endif  // VQ_MAIN_AGENT_STATUS_H_
