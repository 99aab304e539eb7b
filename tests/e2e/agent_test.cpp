// The real agent (a copy of the bundle the build lays out, with its own HOME),
// started as a user would start it, against vqserve; both on 127.0.0.1.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "e2e/agent_sandbox.h"
#include "testing/loopback_exchange.h"

namespace {

using vq_e2e::ChildProcess;
using vq_e2e::Has;
using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof(address);
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

class AgentTest : public ::testing::Test, public vq_e2e::AgentSandbox {
 protected:
  void TearDown() override {
    if (HasFailure())
      std::cerr << "---- agent errors ----\n" << Err() << "---- vq.log ----\n"
                << ReadIfThere(DataPath("vq.log"));
  }
  void StartServer(const std::vector<std::string>& documents) {
    ASSERT_NE("", ServeDocuments(documents));
  }
  // Exports a channel answering "vq.php" with `document` (signed ahead of
  // time, expiring in an hour), serves it with nginx on a free loopback port
  // and points the installation's initial data at it.
  void StartNginxChannel(const std::string& document) {
    ASSERT_NE(std::string(), std::string(VQ_NGINX_PATH))
        << "nginx is missing: scripts/setup installs nginx-light";
    const int port = FreeLoopbackPort();
    ASSERT_GT(port, 0);
    const std::string channel = temp.Append("channel");
    WriteFile(temp.Append("answer.xml"), document);
    ASSERT_EQ(0, Spawn({VQSERVE_PATH, "export", channel, "--key", VQ_DEMO_PRIVATE_KEY,
                        "--fixed", temp.Append("answer.xml"), "--downloads", VQ_DEMO_FILES,
                        "--listen", "127.0.0.1:" + std::to_string(port),
                        "--expires-in", "3600"}, "export").Wait())
        << Output("export.err");
    ChildProcess& nginx = Spawn({VQ_NGINX_PATH, "-p", channel + "/", "-c",
                                 channel + "/nginx.conf", "-e", channel + "/nginx-error.log"},
                                "nginx");
    ASSERT_TRUE(WaitFor([&] {
      return !vq_testing::LoopbackExchange(port, "GET / HTTP/1.0\r\n\r\n").empty() ||
             !nginx.Running();
    }));
    ASSERT_TRUE(nginx.Running())
        << ReadIfThere(channel + "/nginx-error.log") << Output("nginx.err");
    ConnectTo("http://127.0.0.1:" + std::to_string(port) + "/");
  }
  std::string Err() const { return Output("agent.err"); }
  // The arguments of each start of the delivered application (written by a
  // detached process, so poll for them).
  std::vector<std::string> Launches() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadIfThere(DataPath("launches.txt")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool WaitForLaunches(size_t count) const {
    return WaitFor([&] { return Launches().size() == count; });
  }
  bool WaitForLog(const std::string& text) const {
    return WaitFor([&] { return Has(ReadIfThere(DataPath("vq.log")), text); },
                   std::chrono::seconds(20));
  }
  // Waits for the command server's address file: "127.0.0.1:PORT".
  std::string CommandServer() const {
    WaitFor([&] { return !CommandServerAddress().empty(); });
    return CommandServerAddress();
  }
  std::string WaitForKey() const {
    WaitFor([&] { return !Key().empty(); });
    return Key();
  }
  // Stops the agent through "/~cmd/quit"; true when it exited with status 0
  // and took the command server's files with it.
  bool QuitAgent() {
    return Has(Http("GET", "/~cmd/quit"), "<result quit=\"ok\" />") &&
           agent_->Wait() == 0 && !PathExists(DataPath("vq.server")) &&
           !PathExists(DataPath("vq.server.key"));
  }
};

const char kEmptyDocument[] = "<vq version=\"2.0\" update=\"600\"/>";

// What an update's actions do, the first answer of getting-started.md checks.
TEST_F(AgentTest, FirstRunSeedsRegistersLaunchesUpdatesAndQuits) {
  StartServer({"<vq version=\"2.0\" update=\"600\"><transaction><launch>"
               "<command>${dir.data}/${swf.app}</command><arg>--updated</arg>"
               "<arg>${mongoose.host}</arg></launch></transaction></vq>"});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  // Seeded for the owner only, and registered as a login item.
  EXPECT_EQ(0700, FileMode(DataPath()));
  EXPECT_EQ(0600, FileMode(DataPath("vqfeed.xml")));
  EXPECT_TRUE(PathExists(Autostart()));
  // The command server's files are for the owner only.
  ASSERT_TRUE(WaitFor([&] { return ReadIfThere(DataPath("vq.server.key")).size() == 25; }));
  EXPECT_EQ(0600, FileMode(DataPath("vq.server.key")));
  EXPECT_EQ(0600, FileMode(DataPath("vq.server")));
  // The first start (before the command server) and the update's, any order.
  // The first update runs at once, and already knows the server's address.
  ASSERT_TRUE(WaitForLaunches(2));
  std::vector<std::string> launches = Launches();
  std::sort(launches.begin(), launches.end());
  EXPECT_EQ((std::vector<std::string>{"${mongoose.host}", "--updated " + CommandServer()}),
            launches);
  EXPECT_TRUE(QuitAgent());
}

// A channel carried by a plain web server: answers signed ahead of time with
// an expiry, no second signature, downloads checked by SHA-256 too.
TEST_F(AgentTest, UpdatesFromAnExportedChannelServedByNginx) {
  StartNginxChannel(
      "<vq version=\"2.0\" update=\"600\"><transaction>"
      "<write filename=\"notes/channel.txt\"><![CDATA[from nginx]]></write>"
      "<web url=\"${download.base}/news.txt\" filename=\"notes/news.txt\" "
      "md5=\"${download.md5:news.txt}\" sha256=\"${download.sha256:news.txt}\"/>"
      // Freshness required from now on, and passes every half second.
      "<set name=\"secure.fresh\" value=\"true\"/>"
      "<set name=\"debug.refresh\" value=\"5\"/>"
      "</transaction></vq>");
  StartAgent();
  const auto updates = [&] {
    const std::string log = ReadIfThere(DataPath("vq.log"));
    const std::string line = "VQ signature verification succeeded";
    int count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
      ++count;
    return count;
  };
  // The answer's expiry satisfies the requirement in later passes too.
  ASSERT_TRUE(WaitFor([&] { return updates() >= 3; }, std::chrono::seconds(60)));
  EXPECT_EQ("from nginx", ReadIfThere(DataPath("notes/channel.txt")));
  EXPECT_TRUE(Has(ReadIfThere(DataPath("notes/news.txt")), "Quillmere news"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/info/secure.fresh"), "\r\n\r\ntrue"));
  const std::string log = ReadIfThere(DataPath("vq.log"));
  EXPECT_FALSE(Has(log, " ERROR ")) << log;
  // nginx never signs for a nonce, so the server is not pinned.
  EXPECT_FALSE(PathExists(DataPath("vq.pins")));
  EXPECT_TRUE(QuitAgent());
}

TEST_F(AgentTest, SecondRunKeepsChangesAndReopensOnSignalAndStopsOnSigterm) {
  StartServer({kEmptyDocument});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  ASSERT_TRUE(QuitAgent());
  ASSERT_TRUE(WaitForLaunches(1));
  // Changes made since survive; nothing is seeded, registered or launched.
  WriteFile(DataPath("settings.xml"), "<settings><mine/></settings>");
  std::remove(Autostart().c_str());
  StartAgent();
  const std::string address = CommandServer();
  EXPECT_EQ("<settings><mine/></settings>", ReadFile(DataPath("settings.xml")));
  EXPECT_FALSE(PathExists(Autostart()));
  EXPECT_EQ(1u, Launches().size());
  // SIGUSR1 stands for the user asking for the application again.
  agent_->Signal(SIGUSR1);
  ASSERT_TRUE(WaitForLaunches(2));
  EXPECT_EQ(address, Launches().back());
  agent_->Signal(SIGTERM);
  EXPECT_EQ(0, agent_->Wait());
  EXPECT_TRUE(WaitForLog("Shutting down logging."));
}

TEST_F(AgentTest, AFailedFirstRunLeavesNothingSoTheNextStartIsAFirstRun) {
  StartServer({kEmptyDocument});
  const std::string link = bundle + "/Contents/MacOS/initial_data/broken-link";
  ASSERT_EQ(0, symlink("nowhere", link.c_str()));
  EXPECT_EQ(1, RunToEnd({}, "agent"));
  EXPECT_TRUE(Has(Err(), "ERR: copying of data directory")) << Err();
  // The installation repaired, the next start seeds, registers and
  // launches, as a first run does. (That the failed seeding left nothing,
  // the startup rules' test checks.)
  std::remove(link.c_str());
  StartAgent();
  ASSERT_TRUE(WaitForLaunches(1));
  EXPECT_TRUE(PathExists(DataPath("vqfeed.xml")));
  EXPECT_TRUE(PathExists(Autostart()));
  EXPECT_TRUE(QuitAgent());
}

TEST_F(AgentTest, SecondStartReopensTheRunningAgentAndTouchesNothing) {
  StartServer({kEmptyDocument});
  StartAgent();
  const std::string address = CommandServer(), key = WaitForKey();
  ASSERT_NE("", key);
  ASSERT_TRUE(WaitForLaunches(1));
  // The lock file beside the data directory names the running agent.
  const std::string lockFile = home + "/Library/Application Support/VqDemo/Quillmere.lock";
  const std::string pid = std::to_string(agent_->pid());
  EXPECT_EQ(pid + "\n", ReadIfThere(lockFile));
  const std::string log = ReadIfThere(DataPath("vq.log"));

  // A second start (a manual one beside the login item's) steps back and
  // asks the running agent to come forward.
  EXPECT_EQ(0, RunToEnd({}, "second"));
  EXPECT_TRUE(Has(Output("second.err"), "already running (pid " + pid + ")"));
  ASSERT_TRUE(WaitForLaunches(2));
  EXPECT_EQ(address, Launches().back());
  EXPECT_EQ(address, ReadIfThere(DataPath("vq.server")));
  EXPECT_EQ(key, ReadIfThere(DataPath("vq.server.key")));
  EXPECT_EQ(pid + "\n", ReadIfThere(lockFile));

  // A one-job mode refuses while the agent runs, and touches nothing either.
  EXPECT_EQ(1, RunToEnd({"trans"}, "trans"));
  EXPECT_TRUE(Has(Output("trans.err"), "already running (pid " + pid + ")"));
  EXPECT_EQ(0u, ReadIfThere(DataPath("vq.log")).find(log));
  EXPECT_FALSE(Has(ReadIfThere(DataPath("vq.log")), "Transaction debug file"));
  EXPECT_TRUE(agent_->Running());
  EXPECT_TRUE(QuitAgent());
}

// A document that writes "posted" to `name`.
std::string Write(const std::string& name) {
  return "<vq><transaction><write filename=\"" + name +
         "\"><![CDATA[posted]]></write></transaction></vq>";
}

TEST_F(AgentTest, TransactionWithoutADurableJournalIsRefusedAndReported) {
  StartServer({kEmptyDocument});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  const std::string key = WaitForKey();
  ASSERT_NE("", key);
  // Where the journal belongs, something that cannot be one.
  vq_testing::MakeDirs(DataPath(".transaction.dat"));
  const std::string reply =
      Http("POST", "/~cmd/process?key=" + key, Write("unjournalled.txt"));
  EXPECT_TRUE(Has(reply, " 500 ")) << reply;
  EXPECT_FALSE(Has(reply, "<![CDATA[OK]]>")) << reply;
  EXPECT_FALSE(PathExists(DataPath("unjournalled.txt")));
  EXPECT_FALSE(PathExists(DataPath("unjournalled.txt.tmp")));
  EXPECT_TRUE(QuitAgent());
}

}  // namespace
