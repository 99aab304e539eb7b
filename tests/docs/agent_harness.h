#ifndef VQ_TESTS_DOCS_AGENT_HARNESS_H_
#define VQ_TESTS_DOCS_AGENT_HARNESS_H_

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "testing/child_process.h"
#include "testing/scoped_temp_dir.h"

namespace vq_docs {

using vq_testing::ChildProcess;

// The real agent (a copy of the built installation with a home of its own)
// and vqserve answering every update request with one document, both on
// 127.0.0.1. Three more vqserves answer with the same document unsigned,
// badly signed, and signed without the second signature (as a server that
// ignores the request's nonce). Documents run when Update() wakes the agent.
class AgentHarness {
 public:
  AgentHarness();
  ~AgentHarness();  // stops both

  // Starts vqserve, then the agent, and waits for the agent's first update
  // (with the empty document). Returns false with the reason in `why`.
  bool Start(std::string* why);
  // Starts the agent again after it ended (a quit); waits as Start does.
  bool RestartAgentIfGone(std::string* why);
  bool AgentRunning();
  // Waits until the agent has exited; false when it still runs after 20 s.
  bool WaitForAgentExit();

  enum class Signing {
    kSigned,
    kUnsigned,
    kBadlySigned,
    kWithoutSecondSignature
  };
  // The base URL of the vqserve that answers that way.
  std::string ServerUrl(Signing signing) const;
  // Serves `document` (once vqserve has filled in its own placeholders) to
  // the next update request, wakes the agent and waits until that update
  // has ended or the agent has exited. Then serves the empty document
  // again. A document not signed the usual way comes from a server of its
  // own, the only one "vqconnect.xml" names during that update. Returns
  // false when the update did not end in time.
  bool Update(const std::string& document,
              Signing signing = Signing::kSigned);

  // The data directory and a file in it.
  std::string DataPath(const std::string& name = "") const;
  // The agent's log, "vq.log", with the previous file before it.
  std::string Log() const;
  // Lines of vqserve's request log (one JSON object each).
  std::vector<std::string> Requests() const;
  // The command server's "127.0.0.1:PORT" and access key ("" when none).
  std::string CommandServerAddress() const;
  std::string Key() const;
  // One raw HTTP request to the command server; the whole reply.
  std::string Http(const std::string& request) const;

 private:
  bool StartAgent(std::string* why);
  // Starts a vqserve with `options` added; returns its base URL, or "".
  std::string StartServer(const std::string& name,
                          std::vector<std::string> options,
                          std::unique_ptr<ChildProcess>* server,
                          std::string* why);
  // The content of vqconnect.xml naming only `url`.
  static std::string ConnectSettings(const std::string& url);
  // The end of the log as it is now, to find later what follows it.
  std::string LogMark() const;
  // Waits until an update pass has begun and ended after `logMark`, or the
  // agent has exited.
  bool WaitForPassEnd(const std::string& logMark);

  vq_testing::ScopedTempDir temp_;
  const std::string home_;
  const std::string bundle_;
  const std::string answer_;
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> unsigned_server_;
  std::unique_ptr<ChildProcess> bad_server_;
  std::unique_ptr<ChildProcess> no_sig2_server_;
  std::string url_, unsigned_url_, bad_url_, no_sig2_url_;
  std::unique_ptr<ChildProcess> agent_;
};

}  // namespace vq_docs

#endif  // VQ_TESTS_DOCS_AGENT_HARNESS_H_
