// The status of an agent, gathered from a data directory in a temporary
// folder and from a stand-in command server on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "host/http_transport.h"
#include "main/agent_query.h"
#include "main/agent_status.h"
#include "main/status_report.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/scoped_temp_dir.h"

namespace {

using vq_main::AgentStatus;
using vq_testing::CannedResponse;
using vq_testing::WriteFile;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ServerAddress, OnlyALoopbackPortIsTaken) {
  const struct { const char* text; std::optional<unsigned short> port; } cases[] = {
      {"127.0.0.1:8080", 8080},      {"127.0.0.1:8080\n", 8080},
      {"127.0.0.1:65535", 65535},    {"127.0.0.1:1", 1},
      {"10.0.0.1:8080", {}},         {"localhost:8080", {}},
      {"127.0.0.1:0", {}},           {"127.0.0.1:65536", {}},
      {"127.0.0.1:", {}},            {"127.0.0.1:80x", {}},
      {" 127.0.0.1:80", {}},         {"127.0.0.1:80\n\n", {}},
      {"127.0.0.1:-80", {}},         {"127.0.0.1:0000080", {}},
      {"127.0.0.1:80@evil:1", {}},   {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.port, vq_main::parseServerAddress(c.text)) << c.text;
  }
}

TEST(LockPid, DecimalWithOptionalLineBreak) {
  const struct { const char* text; std::optional<long> pid; } cases[] = {
      {"4242\n", 4242}, {"4242", 4242}, {"1\n", 1},
      {"0\n", {}},      {"-1\n", {}},   {"", {}},
      {"\n", {}},       {"42 \n", {}},  {"12345678901\n", {}},
      {"4242\n\n", {}}, {"x\n", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.pid, vq_main::parseLockPid(c.text)) << c.text;
  }
}

class AgentStatusTest : public ::testing::Test {
 protected:
  AgentStatusTest() {
    paths_.identity.name = "Quill";
    paths_.identity.defaultServers = {"http://a.test/", "http://b.test/"};
    paths_.dataDir = temp_.Append("Quill");
    vq_testing::MakeDirs(paths_.dataDir);
  }
  std::string Data(const std::string& name) const {
    return paths_.dataDir + "/" + name;
  }
  // The stand-in agent answers every keyless question the status asks.
  void ServeAgent(vq_testing::TestHttpServer& server,
                  const std::string& version, const std::string& last) {
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/~cmd/version", version}, {"/~cmd/info/update.last", last},
             {"/~cmd/info/update.result", "failed"},
             {"/~cmd/info/update.next", "Mon Dec 07 04:00:00 2026"},
             {"/~cmd/info/update.count", "3"},
             {"/~cmd/info/servers", "http://s1.test/,http://s2.test/"}})
      server.Always("GET", path, CannedResponse{200, {}, body});
    WriteFile(Data("vq.server"), server.url("").substr(7) + "\n");
  }
  AgentStatus Collect() {
    return vq_main::collectStatus(paths_, host::createHttpTransport(),
                                  pool_.get());
  }

  vq_testing::ScopedTempDir temp_;
  vq_main::ProductPaths paths_;
  apr::Pool pool_;
  vq_testing::TestHttpServer server_;
};

TEST_F(AgentStatusTest, RunningAgentIsAskedAndItsAnswersAreMadeSafeToShow) {
  ServeAgent(server_, "<vqApplication feedId=\"1\"/>", "Mon\x1b[2J Dec 07\nForged: yes");
  WriteFile(paths_.dataDir + ".lock", "4242\n");
  WriteFile(Data(".transaction.dat"), "journal");
  // The report's lines show running, the lock's pid and the agent's servers.
  const AgentStatus status = Collect();
  EXPECT_EQ(vq_main::kStatusRunning, vq_main::statusExitCode(status));

  const std::string text = vq_main::formatStatus(status);
  for (const std::string& line :
       {std::string("Agent:               running, pid 4242"),
        "Command server:      " + server_.url("/"),
        "Latest attempt:      failed (see " + Data("vq.log"),
        std::string("Next update:         Mon Dec 07 04:00:00 2026"),
        std::string("Update passes:       3 since the agent started"),
        std::string("\n                     http://s2.test/\n"),
        std::string("Transaction:         one is running now")})
    EXPECT_TRUE(Has(text, line)) << text;
  // Neither the escape sequence nor the forged line reaches the terminal.
  EXPECT_TRUE(Has(text, "Mon\\x1b[2J Dec 07\\nForged: yes")) << text;
  EXPECT_FALSE(Has(text, "\x1b"));
  EXPECT_FALSE(Has(text, "\nForged"));
}

TEST_F(AgentStatusTest, WhatAnswersIsNotTakenForTheAgentUnlessItIsOne) {
  const struct { const char* name; std::string version; } cases[] = {
      {"another program", "hello"},
      {"an answer over the bound", "<vqApplication" +
                                       std::string(70 * 1024, ' ') + "/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vq_testing::TestHttpServer server;
    ServeAgent(server, c.version, "never asked");
    const AgentStatus status = Collect();
    EXPECT_TRUE(status.lastUpdate.empty());
    EXPECT_EQ(vq_main::kStatusNotRunning, vq_main::statusExitCode(status));
    EXPECT_TRUE(Has(vq_main::formatStatus(status), "not running (nothing answers"));
  }
}

TEST_F(AgentStatusTest, WithoutAnAgentTheFilesTellWhatTheyCan) {
  WriteFile(Data("vqconnect.xml"),
            "<vqconnect version=\"1.0\"><server>http://b.test/</server>"
            "<server>http://c.test/</server></vqconnect>");
  WriteFile(Data(".transaction.dat"), "journal");
  const AgentStatus status = Collect();
  // The connect settings in file order, then the built-in servers they lack.
  EXPECT_EQ((std::vector<std::string>{"http://b.test/", "http://c.test/",
                                      "http://a.test/"}),
            status.servers);
  const std::string text = vq_main::formatStatus(status);
  for (const char* line : {"Agent:               not running\n",
                           "(from vqconnect.xml and the built-in list)",
                           "pending: .transaction.dat will be completed"})
    EXPECT_TRUE(Has(text, line)) << text;
  EXPECT_EQ(0u, server_.request_count());
}

TEST_F(AgentStatusTest, AddressFilesThatAreNotTheAgentsAreNeitherReadNorUsed) {
  // A FIFO would block a plain read for ever; a link may point anywhere.
  ASSERT_EQ(0, mkfifo(Data("vq.server").c_str(), 0600));
  EXPECT_EQ(AgentStatus::AddressFile::kMalformed, Collect().addressFile);
  std::remove(Data("vq.server").c_str());
  WriteFile(temp_.Append("elsewhere"), server_.url("").substr(7));
  ASSERT_EQ(0, symlink(temp_.Append("elsewhere").c_str(), Data("vq.server").c_str()));
  EXPECT_EQ(AgentStatus::AddressFile::kMalformed, Collect().addressFile);
  std::remove(Data("vq.server").c_str());
  WriteFile(Data("vq.server"), "10.1.2.3:80\n");
  EXPECT_TRUE(Has(vq_main::formatStatus(Collect()), "does not hold an address"));
  EXPECT_EQ(0u, server_.request_count());
}

}  // namespace
