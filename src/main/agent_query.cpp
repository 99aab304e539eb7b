#include "main/agent_query.h"

#include <cctype>
#include <utility>

namespace vq_main {
namespace {

// Collects a body up to the limit; a longer body aborts the exchange.
class BoundedBody : public host::HttpResponseSink {
 public:
  bool onBodyData(const char* data, std::size_t size) override {
    if (size > AgentQuery::kAnswerLimit - body.size()) return false;
    body.append(data, size);
    return true;
  }
  void onHeader(const std::string&, const std::string&) override {}

  std::string body;
};

}  // namespace

AgentQuery::AgentQuery(std::shared_ptr<host::HttpTransport> transport,
                       unsigned short port)
    : transport_(std::move(transport)), port_(port) {}

std::optional<std::string> AgentQuery::get(const std::string& command) const {
  host::HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(port_) + command;
  request.idle_timeout_seconds = kIdleTimeoutSeconds;
  request.direct = true;
  BoundedBody sink;
  const host::HttpResult result = transport_->fetch(request, sink);
  if (!result.completed || !result.error.empty() || result.status != 200) {
    return std::nullopt;
  }
  return sink.body;
}

std::optional<std::string> AgentQuery::version() const {
  std::optional<std::string> answer = get("/~cmd/version");
  // Another program that happens to listen on the port is not the agent.
  if (!answer || answer->rfind("<vqApplication", 0) != 0) return std::nullopt;
  return answer;
}

std::optional<std::string> AgentQuery::variable(const std::string& name) const {
  return get("/~cmd/info/" + name);
}

std::optional<unsigned short> parseServerAddress(const std::string& text) {
  static const std::string kPrefix = "127.0.0.1:";
  std::string rest = text;
  if (!rest.empty() && rest.back() == '\n') rest.pop_back();
  if (rest.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  rest.erase(0, kPrefix.size());
  if (rest.empty() || rest.size() > 5) return std::nullopt;
  long port = 0;
  for (const char c : rest) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return static_cast<unsigned short>(port);
}

}  // namespace vq_main
