#include "docs/agent_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/wait_for.h"

namespace vq_docs {

namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

const char kEmptyDocument[] = "<vq version=\"2.0\" update=\"600\"/>";
// Logged by the update thread when a pass begins and when it has ended.
const char kPassBegins[] = "Performing update";
const char kPassEnded[] = "timediff :";

}  // namespace

AgentHarness::AgentHarness()
    : home_(temp_.Append("home")),
      bundle_(temp_.Append("vqagent.app")),
      answer_(temp_.Append("answer.xml")) {
  vq_testing::MakeDirs(home_);
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle_,
                        std::filesystem::copy_options::recursive);
}

AgentHarness::~AgentHarness() {
  for (ChildProcess* child :
       {agent_.get(), server_.get(), unsigned_server_.get(), bad_server_.get(),
        no_sig2_server_.get()})
    if (child) child->Signal(SIGTERM), child->Wait();
}

std::string AgentHarness::StartServer(const std::string& name,
                                      std::vector<std::string> options,
                                      std::unique_ptr<ChildProcess>* server,
                                      std::string* why) {
  const std::string port_file = temp_.Append(name + ".url");
  // All servers share one request log: the agent asks them one at a time.
  std::vector<std::string> argv = {VQSERVE_PATH, "--key", VQ_DEMO_PRIVATE_KEY,
                                   "--fixed", answer_, "--downloads",
                                   VQ_DEMO_FILES, "--log",
                                   temp_.Append("requests.log"), "--port-file",
                                   port_file};
  argv.insert(argv.end(), options.begin(), options.end());
  *server = std::make_unique<ChildProcess>(argv, std::vector<std::string>{},
                                           temp_.Append(name));
  if (!WaitFor([&] { return PathExists(port_file); })) {
    *why = name + " did not start: " + ReadIfThere(temp_.Append(name + ".err"));
    return "";
  }
  const std::string url = ReadFile(port_file);
  return url.substr(0, url.find('\n'));
}

std::string AgentHarness::ConnectSettings(const std::string& url) {
  return "<vqconnect version=\"1.0\"><server>" + url +
         "</server></vqconnect>";
}

bool AgentHarness::Start(std::string* why) {
  WriteFile(answer_, kEmptyDocument);
  url_ = StartServer("vqserve", {}, &server_, why);
  unsigned_url_ =
      StartServer("vqserve-unsigned", {"--no-sign"}, &unsigned_server_, why);
  bad_url_ = StartServer("vqserve-bad", {"--bad-sign"}, &bad_server_, why);
  no_sig2_url_ =
      StartServer("vqserve-no-sig2", {"--no-sig2"}, &no_sig2_server_, why);
  if (url_.empty() || unsigned_url_.empty() || bad_url_.empty() ||
      no_sig2_url_.empty()) {
    return false;
  }
  WriteFile(bundle_ + "/Contents/MacOS/initial_data/vqconnect.xml",
            ConnectSettings(url_));
  return StartAgent(why);
}

bool AgentHarness::StartAgent(std::string* why) {
  const std::string logMark = LogMark();
  agent_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{bundle_ + "/Contents/MacOS/vqagent"},
      std::vector<std::string>{"HOME=" + home_,
                               "XDG_CONFIG_HOME=" + home_ + "/.config"},
      temp_.Append("agent"));
  if (!WaitForPassEnd(logMark) ||
      !WaitFor([&] { return !Key().empty() && !CommandServerAddress().empty(); })) {
    *why = "the agent did not start: " + ReadIfThere(temp_.Append("agent.err")) +
           Log();
    return false;
  }
  return true;
}

bool AgentHarness::AgentRunning() { return agent_ && agent_->Running(); }

bool AgentHarness::WaitForAgentExit() {
  return !agent_ || agent_->Wait() != -1;
}

bool AgentHarness::RestartAgentIfGone(std::string* why) {
  if (AgentRunning()) return true;
  return StartAgent(why);
}

std::string AgentHarness::DataPath(const std::string& name) const {
  return home_ + "/Library/Application Support/VqDemo/Quillmere/" + name;
}

std::string AgentHarness::Log() const {
  return ReadIfThere(DataPath("vq.log.1")) + ReadIfThere(DataPath("vq.log"));
}

std::vector<std::string> AgentHarness::Requests() const {
  std::vector<std::string> lines;
  const std::string text = ReadIfThere(temp_.Append("requests.log"));
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string AgentHarness::CommandServerAddress() const {
  return ReadIfThere(DataPath("vq.server"));
}

std::string AgentHarness::Key() const {
  return ReadIfThere(DataPath("vq.server.key"));
}

std::string AgentHarness::LogMark() const {
  const std::string log = Log();
  return log.substr(log.size() > 256 ? log.size() - 256 : 0);
}

bool AgentHarness::WaitForPassEnd(const std::string& logMark) {
  return WaitFor(
      [&] {
        if (agent_ && !agent_->Running()) return true;
        // What was logged after the mark; everything when the mark has been
        // rotated away (its lines carry times in milliseconds, so the mark
        // is found only where it was).
        const std::string log = Log();
        const size_t mark = logMark.empty() ? std::string::npos : log.rfind(logMark);
        const size_t from = mark == std::string::npos ? 0 : mark + logMark.size();
        const size_t begins = log.find(kPassBegins, from);
        return begins != std::string::npos &&
               log.find(kPassEnded, begins) != std::string::npos;
      },
      std::chrono::seconds(30));
}

std::string AgentHarness::ServerUrl(Signing signing) const {
  switch (signing) {
    case Signing::kUnsigned: return unsigned_url_;
    case Signing::kBadlySigned: return bad_url_;
    case Signing::kWithoutSecondSignature: return no_sig2_url_;
    case Signing::kSigned: break;
  }
  return url_;
}

bool AgentHarness::Update(const std::string& document, Signing signing) {
  WriteFile(answer_, document);
  if (signing != Signing::kSigned) {
    WriteFile(DataPath("vqconnect.xml"), ConnectSettings(ServerUrl(signing)));
  }
  const std::string logMark = LogMark();
  Http("GET /~cmd/wake HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  const bool ended = WaitForPassEnd(logMark);
  WriteFile(answer_, kEmptyDocument);
  if (signing != Signing::kSigned)
    WriteFile(DataPath("vqconnect.xml"), ConnectSettings(url_));
  return ended;
}

std::string AgentHarness::Http(const std::string& request) const {
  int port = 0;
  if (sscanf(CommandServerAddress().c_str(), "127.0.0.1:%d", &port) != 1)
    return "";
  return vq_testing::LoopbackExchange(port, request);
}

}  // namespace vq_docs
