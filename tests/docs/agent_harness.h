#ifndef VQ_TESTS_DOCS_AGENT_HARNESS_H_
#define VQ_TESTS_DOCS_AGENT_HARNESS_H_

#include <string>
#include <vector>

#include "e2e/agent_sandbox.h"

namespace vq_docs {

using vq_testing::ReadIfThere;
using vq_testing::WriteFile;

// The real agent of an installation of its own, and vqserve answering every
// update request with one document, both on 127.0.0.1. Three more vqserves
// answer with the same document unsigned, badly signed, and signed without the
// second signature (as a server that ignores the request's nonce). Documents
// run when Update() wakes the agent.
class AgentHarness : public vq_e2e::AgentSandbox {
 public:
  enum Signing { kSigned, kUnsigned, kBadlySigned, kWithoutSecondSignature };

  // Starts the servers, then the agent, and waits for the agent's first
  // update (with the empty document). Returns false with the reason in `why`.
  bool Start(std::string* why) {
    WriteFile(answer_, kEmptyDocument);
    const char* const names[] = {"vqserve", "vqserve-unsigned", "vqserve-bad", "vqserve-no-sig2"};
    const char* const modes[] = {nullptr, "--no-sign", "--bad-sign", "--no-sig2"};
    for (int i = kSigned; i <= kWithoutSecondSignature; ++i) {
      // All servers share one request log: the agent asks them one at a time.
      std::vector<std::string> options{"--fixed", answer_, "--downloads", VQ_DEMO_FILES,
                                       "--log", temp.Append("requests.log")};
      if (modes[i]) options.push_back(modes[i]);
      if ((urls_[i] = StartServer(names[i], options)).empty()) {
        *why = std::string(names[i]) + " did not start: " + Output(names[i] + std::string(".err"));
        return false;
      }
    }
    ConnectTo(urls_[kSigned]);
    return StartAgentAndWait(why);
  }
  // Starts the agent again after it ended (a quit); waits as Start does.
  bool RestartAgentIfGone(std::string* why) { return AgentRunning() || StartAgentAndWait(why); }
  bool AgentRunning() { return agent_ && agent_->Running(); }
  // Waits until the agent has exited; false when it still runs after 20 s.
  bool WaitForAgentExit() { return !agent_ || agent_->Wait() != -1; }
  // The base URL of the vqserve that answers that way.
  std::string ServerUrl(Signing signing) const { return urls_[signing]; }

  // Serves `document` (once vqserve has filled in its own placeholders) to
  // the next update request, wakes the agent and waits until that update
  // has ended or the agent has exited. Then serves the empty document
  // again. A document not signed the usual way comes from a server of its
  // own, the only one "vqconnect.xml" names during that update. Returns
  // false when the update did not end in time.
  bool Update(const std::string& document, Signing signing) {
    WriteFile(answer_, document);
    if (signing != kSigned) WriteFile(DataPath("vqconnect.xml"), ConnectSettings(urls_[signing]));
    const std::string logMark = LogMark();
    Http("GET", "/~cmd/wake");
    const bool ended = WaitForPassEnd(logMark);
    WriteFile(answer_, kEmptyDocument);
    if (signing != kSigned) WriteFile(DataPath("vqconnect.xml"), ConnectSettings(urls_[kSigned]));
    return ended;
  }

  // The agent's log, "vq.log", with the previous file before it.
  std::string Log() const {
    return ReadIfThere(DataPath("vq.log.1")) + ReadIfThere(DataPath("vq.log"));
  }
  // Lines of vqserve's request log (one JSON object each).
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    const std::string text = Output("requests.log");
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }

 private:
  static constexpr const char* kEmptyDocument = "<vq version=\"2.0\" update=\"600\"/>";

  bool StartAgentAndWait(std::string* why) {
    const std::string logMark = LogMark();
    StartAgent();
    if (!WaitForPassEnd(logMark) ||
        !vq_testing::WaitFor([&] { return !Key().empty() && !CommandServerAddress().empty(); })) {
      *why = "the agent did not start: " + Output("agent.err") + Log();
      return false;
    }
    return true;
  }
  // The end of the log as it is now, to find later what follows it.
  std::string LogMark() const {
    const std::string log = Log();
    return log.substr(log.size() > 256 ? log.size() - 256 : 0);
  }
  // Waits until an update pass has begun ("Performing update") and ended
  // ("timediff :") after `logMark`, or the agent has exited.
  bool WaitForPassEnd(const std::string& logMark) {
    return vq_testing::WaitFor(
        [&] {
          if (agent_ && !agent_->Running()) return true;
          // What was logged after the mark; everything when the mark has
          // been rotated away (its lines carry times in milliseconds, so the
          // mark is found only where it was).
          const std::string log = Log();
          const size_t mark = logMark.empty() ? std::string::npos : log.rfind(logMark);
          const size_t begins =
              log.find("Performing update", mark == std::string::npos ? 0 : mark + logMark.size());
          return begins != std::string::npos && log.find("timediff :", begins) != std::string::npos;
        },
        std::chrono::seconds(30));
  }

  const std::string answer_ = temp.Append("answer.xml");
  std::string urls_[4];
};

}  // namespace vq_docs

#endif  // VQ_TESTS_DOCS_AGENT_HARNESS_H_
