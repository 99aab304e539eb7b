#ifndef VQ_TESTS_E2E_AGENT_SANDBOX_H_
#define VQ_TESTS_E2E_AGENT_SANDBOX_H_

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "testing/child_process.h"
#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace vq_e2e {

using vq_testing::ChildProcess;

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A copy of the installation the build lays out (VQ_BUNDLE_DIR) with a HOME of
// its own, and the servers that answer it. The agent of StartAgent and the
// servers get SIGTERM and are reaped at the end; other agents belong to the
// caller.
class AgentSandbox {
 public:
  AgentSandbox() {
    vq_testing::MakeDirs(home);
    std::filesystem::copy(VQ_BUNDLE_DIR, bundle,
                          std::filesystem::copy_options::recursive);
  }
  ~AgentSandbox() {
    if (agent_) agent_->Signal(SIGTERM), agent_->Wait();
    for (auto& [name, process] : processes_) process->Signal(SIGTERM), process->Wait();
  }

  // Starts `argv`, its output in `name` + ".out" and ".err"; replaces (kills)
  // what ran under that name before.
  ChildProcess& Spawn(const std::vector<std::string>& argv, const std::string& name) {
    auto& process = processes_[name];
    process = std::make_unique<ChildProcess>(argv, std::vector<std::string>{},
                                             temp.Append(name));
    return *process;
  }
  // Starts vqserve with the demo key and `options`; its base URL, "" when it
  // did not start.
  std::string StartServer(const std::string& name, std::vector<std::string> options) {
    const std::string port_file = temp.Append(name + ".url");
    options.insert(options.begin(), {VQSERVE_PATH, "--key", VQ_DEMO_PRIVATE_KEY,
                                     "--port-file", port_file});
    Spawn(options, name);
    if (!vq_testing::WaitFor([&] { return vq_testing::PathExists(port_file); }))
      return "";
    const std::string url = vq_testing::ReadFile(port_file);
    return url.substr(0, url.find('\n'));
  }
  // Starts vqserve answering "vq.php" with `documents` in turn (the last one
  // repeated) and points the installation's initial data at it; its base
  // URL, "" when it did not start.
  std::string ServeDocuments(const std::vector<std::string>& documents) {
    const std::string actions = temp.Append("actions/");
    for (size_t i = 0; i < documents.size(); ++i)
      vq_testing::WriteFile(actions + std::to_string(10 + i) + ".xml", documents[i]);
    const std::string url =
        StartServer("vqserve", {"--actions", actions, "--downloads", VQ_DEMO_FILES});
    if (!url.empty()) ConnectTo(url);
    return url;
  }
  ChildProcess& Process(const std::string& name) { return *processes_.at(name); }

  // The installation's agent started with `args`, as its user starts it.
  std::unique_ptr<ChildProcess> Agent(std::vector<std::string> args = {},
                                      const std::string& name = "agent") const {
    args.insert(args.begin(), bundle + "/Contents/MacOS/vqagent");
    return std::make_unique<ChildProcess>(
        args, std::vector<std::string>{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config"},
        temp.Append(name));
  }
  void StartAgent(std::vector<std::string> args = {}) { agent_ = Agent(std::move(args)); }
  // An agent run to its end; its exit status.
  int RunToEnd(std::vector<std::string> args, const std::string& name = "run") const {
    return Agent(std::move(args), name)->Wait(std::chrono::seconds(30));
  }
  static std::string ConnectSettings(const std::string& url) {
    return "<vqconnect version=\"1.0\"><server>" + url + "</server></vqconnect>";
  }
  // The installation's initial data names only `url` as update server.
  void ConnectTo(const std::string& url) const {
    vq_testing::WriteFile(bundle + "/Contents/MacOS/initial_data/vqconnect.xml",
                          ConnectSettings(url));
  }
  std::string DataPath(const std::string& name = "") const {
    return home + "/Library/Application Support/VqDemo/Quillmere/" + name;
  }
  std::string Output(const std::string& file) const {
    return vq_testing::ReadIfThere(temp.Append(file));
  }
  std::string Autostart() const { return home + "/.config/autostart/vqagent.desktop"; }
  // The command server's "127.0.0.1:PORT" and access key ("" when none).
  std::string CommandServerAddress() const {
    return vq_testing::ReadIfThere(DataPath("vq.server"));
  }
  std::string Key() const { return vq_testing::ReadIfThere(DataPath("vq.server.key")); }
  // `request` sent as is to the command server, once its address file is
  // there; the whole reply.
  std::string Exchange(const std::string& request) const {
    int port = 0;
    vq_testing::WaitFor([&] { return !CommandServerAddress().empty(); });
    if (sscanf(CommandServerAddress().c_str(), "127.0.0.1:%d", &port) != 1) return "";
    return vq_testing::LoopbackExchange(port, request);
  }
  std::string Http(const std::string& method, const std::string& target,
                   const std::string& body = "") const {
    return Exchange(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: "
                    "close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }

  const vq_testing::ScopedTempDir temp;
  const std::string home = temp.Append("home");
  const std::string bundle = temp.Append("vqagent.app");

 protected:
  std::unique_ptr<ChildProcess> agent_;

 private:
  std::map<std::string, std::unique_ptr<ChildProcess>> processes_;
};

}  // namespace vq_e2e

#endif  // VQ_TESTS_E2E_AGENT_SANDBOX_H_
