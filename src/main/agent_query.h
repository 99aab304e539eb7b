#ifndef VQ_MAIN_AGENT_QUERY_H_
#define VQ_MAIN_AGENT_QUERY_H_

#include <memory>
#include <optional>
#include <string>

#include "host/http_transport.h"

namespace vq_main {

// Asks a running agent questions that need no key, over its command server
// on 127.0.0.1. Each answer is bounded in size and time, so a stuck or
// hostile listener on the port cannot hang or flood the asking process.
class AgentQuery {
 public:
  // Longest answer taken, in bytes; a longer one counts as no answer.
  static constexpr std::size_t kAnswerLimit = 64 * 1024;
  // Seconds a connection or an answer may stall before giving up.
  static constexpr long kIdleTimeoutSeconds = 3;

  // `port` is the command server's port on 127.0.0.1.
  AgentQuery(std::shared_ptr<host::HttpTransport> transport,
             unsigned short port);

  // The built-in description the agent answers to "/~cmd/version", or
  // nothing when no agent of this kind answers.
  std::optional<std::string> version() const;
  // The value of one variable ("/~cmd/info/<name>"); nothing when no answer.
  std::optional<std::string> variable(const std::string& name) const;

 private:
  std::optional<std::string> get(const std::string& command) const;

  std::shared_ptr<host::HttpTransport> transport_;
  unsigned short port_;
};

// The port of a command server address as the agent writes it into
// "vq.server": "127.0.0.1:PORT" (one trailing line break allowed), PORT
// 1-65535 in decimal. Anything else, in particular another host, gives
// nothing: the status must never be sent away from the loopback address.
std::optional<unsigned short> parseServerAddress(const std::string& text);

}  // namespace vq_main

#endif  // VQ_MAIN_AGENT_QUERY_H_
