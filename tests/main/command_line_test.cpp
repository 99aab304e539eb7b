// The agent's command line as a person uses it: the real executable (a copy
// of the bundle the build lays out) with a fresh HOME of its own.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <regex>

#include "e2e/agent_sandbox.h"

namespace {

using vq_e2e::Has;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;

struct Outcome {
  int status;
  std::string out, err;
};

class AgentCommandLineTest : public ::testing::Test, public vq_e2e::AgentSandbox {
 protected:
  void TearDown() override {
    if (HasFailure()) std::cerr << "---- vq.log ----\n" << ReadIfThere(DataPath("vq.log"));
  }
  Outcome Run(std::vector<std::string> args) {
    const int status = RunToEnd(std::move(args));
    return {status, Output("run.out"), Output("run.err")};
  }
  bool HomeIsEmpty() const { return std::filesystem::is_empty(std::filesystem::path(home)); }
  std::string DataDir() const { return home + "/Library/Application Support/VqDemo/Quillmere"; }
  // Serves an empty document to every update.
  void StartServer() {
    ASSERT_NE("", server_url_ = ServeDocuments({"<vq version=\"2.0\" update=\"600\"/>"}));
  }
  // The status report once it satisfies `ready`, or the last one.
  Outcome StatusOnce(const std::function<bool(const Outcome&)>& ready) {
    Outcome outcome;
    WaitFor([&] { return ready(outcome = Run({"--status"})); }, std::chrono::seconds(45));
    return outcome;
  }

  std::string server_url_;
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
  // "version" prints the built-in description, --version its build.
  const std::string description = Run({"version"}).out;
  EXPECT_TRUE(Has(description, "<server>")) << description;
  std::smatch build;
  ASSERT_TRUE(std::regex_search(description, build, std::regex("build=\"([^\"]+)\"")));
  EXPECT_EQ("vqagent 1.0 (Quillmere, build " + build[1].str() + ")\n", Run({"--version"}).out);
  // Without initial data the installation is refused; nothing is created.
  const std::string initial = bundle + "/Contents/MacOS/initial_data";
  std::filesystem::rename(initial, initial + ".away");
  const Outcome refused = Run({});
  EXPECT_EQ(1, refused.status);
  EXPECT_TRUE(Has(refused.err, "No initial_data dir in installation.")) << refused.err;
  EXPECT_TRUE(HomeIsEmpty());
}

TEST_F(AgentCommandLineTest, WordModesStillDoTheirOneJob) {
  StartServer();
  // The first of them seeds (and launches); "setstart" registers again.
  EXPECT_EQ(1, Run({"setstart"}).status);
  EXPECT_TRUE(PathExists(DataPath("vqconnect.xml")));
  EXPECT_TRUE(PathExists(Autostart()));
  std::remove(Autostart().c_str());
  EXPECT_EQ(1, Run({"setstart"}).status);
  EXPECT_TRUE(PathExists(Autostart()));
  EXPECT_EQ(1, Run({"TRANS"}).status);
  EXPECT_TRUE(WaitFor(
      [&] { return Has(ReadIfThere(DataPath("vq.log")), "Transaction debug file"); }));
  const Outcome proxy = Run({"proxy", "http://127.0.0.1/"});
  EXPECT_EQ(1, proxy.status);
  EXPECT_TRUE(Has(proxy.err, "ProxyDetails::checkProxy is deprecated"));
  // "launch" starts the delivered application before the command server
  // exists, and runs on.
  StartAgent({"launch"});
  EXPECT_EQ(0, StatusOnce([](const Outcome& o) { return o.status == 0; }).status);
  EXPECT_TRUE(WaitFor([&] {
    return ReadIfThere(DataPath("launches.txt")) == "${mongoose.host}\n${mongoose.host}\n";
  })) << ReadIfThere(DataPath("launches.txt"));
  agent_->Signal(SIGTERM);
  EXPECT_EQ(0, agent_->Wait());
}

TEST_F(AgentCommandLineTest, StatusWithoutAnAgentCreatesNothing) {
  const Outcome outcome = Run({"--status"});
  EXPECT_EQ(3, outcome.status);
  for (const std::string& line : {std::string("Agent:               not running"),
                                  std::string("Update servers:      http://127.0.0.1:8731/"),
                                  DataDir() + " (not created yet"})
    EXPECT_TRUE(Has(outcome.out, line)) << outcome.out;
  EXPECT_TRUE(HomeIsEmpty());
}

TEST_F(AgentCommandLineTest, StatusOfARunningAgentAsksIt) {
  StartServer();
  StartAgent();
  const Outcome running = StatusOnce(
      [](const Outcome& o) { return Has(o.out, "Latest attempt:      succeeded"); });
  EXPECT_EQ(0, running.status) << running.out;
  for (const std::string& line :
       {"Agent:               running, pid " + std::to_string(agent_->pid()),
        "Command server:      http://" + ReadFile(DataPath("vq.server")) + "/", server_url_,
        std::string("Transaction:         none pending")})
    EXPECT_TRUE(Has(running.out, line)) << running.out;
  for (const char* pattern : {"Last update: +[A-Z][a-z]{2} [A-Z][a-z]{2} ",
                              "Next update: +[A-Z][a-z]{2} [A-Z][a-z]{2} "})
    EXPECT_TRUE(std::regex_search(running.out, std::regex(pattern))) << running.out;

  // With the server gone, an update asked for fails, and the status says so.
  Process("vqserve").Signal(SIGTERM);
  ASSERT_EQ(0, Process("vqserve").Wait());
  ASSERT_EQ(0, system(("curl -s --noproxy '*' -o /dev/null http://" +
                       ReadFile(DataPath("vq.server")) + "/~cmd/wake").c_str()));
  const Outcome failed = StatusOnce(
      [](const Outcome& o) { return Has(o.out, "Latest attempt:      failed (see "); });
  EXPECT_TRUE(Has(failed.out, "Latest attempt:      failed (see " + DataPath("vq.log") + ")"))
      << failed.out;
  EXPECT_EQ(0, failed.status);
}

}  // namespace
