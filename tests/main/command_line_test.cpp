// The agent's command line as a person uses it: the real executable (a copy
// of the bundle the build lays out) with a fresh HOME of its own.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>

#include "testing/child_process.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace {

using vq_testing::ChildProcess;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct Outcome {
  int status;
  std::string out, err;
};

class AgentCommandLineTest : public ::testing::Test {
 protected:
  AgentCommandLineTest() {
    vq_testing::MakeDirs(home_);
    std::filesystem::copy(VQ_BUNDLE_DIR, bundle_,
                          std::filesystem::copy_options::recursive);
  }
  void TearDown() override {
    for (ChildProcess* child : {agent_.get(), server_.get()})
      if (child) child->Signal(SIGTERM), child->Wait();
    if (HasFailure()) {
      std::cerr << "---- vq.log ----\n" << ReadIfThere(DataPath("vq.log"));
    }
  }

  std::unique_ptr<ChildProcess> Start(std::vector<std::string> args,
                                      const std::string& files) {
    args.insert(args.begin(), bundle_ + "/Contents/MacOS/vqagent");
    return std::make_unique<ChildProcess>(
        args,
        std::vector<std::string>{"HOME=" + home_,
                                 "XDG_CONFIG_HOME=" + home_ + "/.config"},
        temp_.Append(files));
  }
  Outcome Run(std::vector<std::string> args) {
    const int status = Start(std::move(args), "run")->Wait();
    return {status, ReadIfThere(temp_.Append("run.out")),
            ReadIfThere(temp_.Append("run.err"))};
  }
  bool HomeIsEmpty() const {
    return std::filesystem::is_empty(std::filesystem::path(home_));
  }
  std::string DataDir() const {
    return home_ + "/Library/Application Support/VqDemo/Quillmere";
  }
  std::string DataPath(const std::string& name = "") const {
    return DataDir() + "/" + name;
  }
  // Starts vqserve answering every update with `document` and points the
  // installation's initial data at it.
  void StartServer(const std::string& document) {
    WriteFile(temp_.Append("actions/10.xml"), document);
    const std::string port_file = temp_.Append("server.url");
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{VQSERVE_PATH, "--key", VQ_DEMO_PRIVATE_KEY,
                                 "--actions", temp_.Append("actions"),
                                 "--port-file", port_file},
        std::vector<std::string>{}, temp_.Append("vqserve"));
    ASSERT_TRUE(WaitFor([&] { return PathExists(port_file); }));
    const std::string url = ReadFile(port_file);
    server_url_ = url.substr(0, url.find('\n'));
    WriteFile(bundle_ + "/Contents/MacOS/initial_data/vqconnect.xml",
              "<vqconnect version=\"1.0\"><server>" + server_url_ +
                  "</server></vqconnect>");
  }
  // The status report once it satisfies `ready`, or the last one.
  Outcome StatusOnce(const std::function<bool(const Outcome&)>& ready) {
    Outcome outcome;
    WaitFor([&] { return ready(outcome = Run({"--status"})); },
            std::chrono::seconds(45));
    return outcome;
  }

  vq_testing::ScopedTempDir temp_;
  const std::string home_ = temp_.Append("home");
  const std::string bundle_ = temp_.Append("vqagent.app");
  std::string server_url_;
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> agent_;
};

TEST_F(AgentCommandLineTest, OptionsAndVersionAnswerWithoutTouchingHome) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {{"--help"}, 0, "Usage: vqagent", ""},
      {{"-h"}, 0, "~/Library/Application Support/VqDemo/Quillmere:\n  vq.log", ""},
      {{"--version"}, 0, "vqagent 1.0 (Quillmere, build ", ""},
      // An option wins over the word modes around it.
      {{"launch", "--help", "setstart"}, 0, "Usage: vqagent", ""},
      {{"--bogus"}, 2, "", "vqagent: unknown option --bogus\n\nUsage: vqagent"},
      {{"-"}, 2, "", "unknown option -\n"},
      {{"setstart", "-x\x1b"}, 2, "", "unknown option -x\\x1b\n"},
      {{"VERSION"}, 1, "<vqApplication feedId=\"363\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const Outcome outcome = Run(c.args);
    EXPECT_EQ(c.status, outcome.status);
    EXPECT_TRUE(Has(outcome.out, c.out)) << outcome.out;
    if (c.err[0] == '\0') {
      EXPECT_EQ("", outcome.err);
    } else {
      EXPECT_TRUE(Has(outcome.err, c.err)) << outcome.err;
    }
    EXPECT_TRUE(HomeIsEmpty());
  }
  // --version prints the build of the built-in description.
  const std::string description = Run({"version"}).out;
  std::smatch build;
  ASSERT_TRUE(std::regex_search(description, build,
                                std::regex("build=\"([^\"]+)\"")));
  EXPECT_EQ("vqagent 1.0 (Quillmere, build " + build[1].str() + ")\n",
            Run({"--version"}).out);
}

TEST_F(AgentCommandLineTest, WordModesStillDoTheirOneJob) {
  StartServer("<vq version=\"2.0\" update=\"600\"/>");
  EXPECT_EQ(1, Run({"setstart"}).status);
  EXPECT_TRUE(PathExists(DataPath("vqconnect.xml")));
  EXPECT_TRUE(PathExists(home_ + "/.config/autostart/vqagent.desktop"));
  EXPECT_EQ(1, Run({"TRANS"}).status);
  const Outcome proxy = Run({"proxy", "http://127.0.0.1/"});
  EXPECT_EQ(1, proxy.status);
  EXPECT_TRUE(Has(proxy.err, "ProxyDetails::checkProxy is deprecated"));
  // "launch" starts the delivered application and runs on.
  agent_ = Start({"launch"}, "agent");
  EXPECT_EQ(0, StatusOnce([](const Outcome& o) { return o.status == 0; }).status);
  EXPECT_TRUE(WaitFor([&] {
    return Has(ReadIfThere(DataPath("launches.txt")), "${mongoose.host}\n"
                                                      "${mongoose.host}\n");
  }));
  agent_->Signal(SIGTERM);
  EXPECT_EQ(0, agent_->Wait());
}

TEST_F(AgentCommandLineTest, StatusWithoutAnAgentCreatesNothing) {
  const Outcome outcome = Run({"--status"});
  EXPECT_EQ(3, outcome.status);
  EXPECT_TRUE(Has(outcome.out, "Agent:               not running")) << outcome.out;
  EXPECT_TRUE(Has(outcome.out, "Update servers:      http://127.0.0.1:8731/"))
      << outcome.out;
  EXPECT_TRUE(Has(outcome.out, DataDir() + " (not created yet")) << outcome.out;
  EXPECT_TRUE(HomeIsEmpty());
}

TEST_F(AgentCommandLineTest, StatusTellsOfAJournalPendingRecovery) {
  StartServer("<vq version=\"2.0\" update=\"600\"/>");
  ASSERT_EQ(1, Run({"setstart"}).status);  // seeds the data directory
  // What a killed agent leaves behind.
  WriteFile(DataPath(".transaction.dat"), std::string(8, '\0'));
  WriteFile(DataPath("vq.server"), "127.0.0.1:9");
  const Outcome outcome = Run({"--status"});
  EXPECT_EQ(3, outcome.status);
  EXPECT_TRUE(Has(outcome.out, "nothing answers at 127.0.0.1:9")) << outcome.out;
  EXPECT_TRUE(Has(outcome.out,
                  "Transaction:         pending: .transaction.dat will be "
                  "completed or rolled back when the agent next starts"))
      << outcome.out;
  EXPECT_TRUE(Has(outcome.out, "Update servers:      " + server_url_))
      << outcome.out;
}

TEST_F(AgentCommandLineTest, StatusOfARunningAgentAsksIt) {
  StartServer("<vq version=\"2.0\" update=\"600\"/>");
  agent_ = Start({}, "agent");
  const Outcome running = StatusOnce([](const Outcome& o) {
    return Has(o.out, "Latest attempt:      succeeded");
  });
  EXPECT_EQ(0, running.status) << running.out;
  EXPECT_TRUE(Has(running.out, "Agent:               running, pid " +
                                   std::to_string(agent_->pid())))
      << running.out;
  EXPECT_TRUE(Has(running.out, "Command server:      http://" +
                                   ReadFile(DataPath("vq.server")) + "/"));
  EXPECT_TRUE(std::regex_search(
      running.out, std::regex("Last update: +[A-Z][a-z]{2} [A-Z][a-z]{2} ")))
      << running.out;
  EXPECT_TRUE(std::regex_search(
      running.out, std::regex("Next update: +[A-Z][a-z]{2} [A-Z][a-z]{2} ")))
      << running.out;
  EXPECT_TRUE(Has(running.out, server_url_)) << running.out;
  EXPECT_TRUE(Has(running.out, "Transaction:         none pending"));

  // With the server gone, an update asked for fails, and the status says so.
  server_->Signal(SIGTERM);
  ASSERT_EQ(0, server_->Wait());
  ASSERT_EQ(0, system(("curl -s --noproxy '*' -o /dev/null http://" +
                       ReadFile(DataPath("vq.server")) + "/~cmd/wake")
                          .c_str()));
  const Outcome failed = StatusOnce([](const Outcome& o) {
    return Has(o.out, "Latest attempt:      failed (see ");
  });
  EXPECT_TRUE(Has(failed.out, "Latest attempt:      failed (see " +
                                  DataPath("vq.log") + ")"))
      << failed.out;
  EXPECT_EQ(0, failed.status);
}

}  // namespace
