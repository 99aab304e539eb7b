// The agent's start-up and shut-down, run as the real executable.

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "e2e/agent_fixture.h"
#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace e2e {
namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

const char kEmptyDocument[] = "<vq version=\"2.0\" update=\"600\"/>";

const char kFirstUpdate[] =
    "<vq version=\"2.0\" update=\"600\"><transaction>"
    "<write filename=\"${dir.data}/notes/welcome.txt\" perm=\"rw-------\">"
    "<![CDATA[hello]]></write>"
    "<web url=\"${download.base}/news.txt\" filename=\"notes/news.txt\" "
    "md5=\"${download.md5:news.txt}\"/>"
    "<set name=\"e2e.greeting\" value=\"hi\"/>"
    "<launch><command>${dir.data}/${swf.app}</command>"
    "<arg>--updated</arg><arg>${mongoose.host}</arg></launch>"
    "</transaction></vq>";

TEST_F(AgentTest, FirstRunSeedsRegistersLaunchesUpdatesAndQuits) {
  StartServer({kFirstUpdate});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));

  // Seeded: owner only, the delivered program still runnable.
  EXPECT_EQ(0700, FileMode(DataDir()));
  EXPECT_EQ(0600, FileMode(DataPath("vqfeed.xml")));
  EXPECT_EQ(0700, FileMode(DataPath("Quillmere.app/Contents/MacOS/Quillmere")));
  // Login item for the bundle, not hidden.
  const std::string entry = ReadFile(AutostartEntry());
  EXPECT_NE(std::string::npos, entry.find(Bundle())) << entry;
  EXPECT_NE(std::string::npos, entry.find("Hidden=false")) << entry;

  // The update ran every action.
  EXPECT_EQ("hello", ReadFile(DataPath("notes/welcome.txt")));
  EXPECT_NE(std::string::npos,
            ReadFile(DataPath("notes/news.txt")).find("Quillmere news"));
  const std::string address = CommandServer();
  EXPECT_EQ(0600, FileMode(DataPath("vq.server")));
  EXPECT_EQ(0600, FileMode(DataPath("vq.server.key")));
  EXPECT_EQ(25u, ServerKey().size());
  EXPECT_NE(std::string::npos,
            Http("GET", "/~cmd/info/e2e.greeting").find("\r\n\r\nhi"));

  // First start before the command server existed, then the update's launch
  // (the first update may also run before the server has its address).
  // Each start is recorded by a detached process, so in either order.
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 2; }));
  std::vector<std::string> launches = Launches();
  std::sort(launches.begin(), launches.end());
  EXPECT_EQ("${mongoose.host}", launches[0]);
  EXPECT_EQ(0u, launches[1].find("--updated ")) << launches[1];

  const std::string reply = Http("GET", "/~cmd/quit");
  EXPECT_NE(std::string::npos, reply.find("<result quit=\"ok\" />")) << reply;
  ASSERT_TRUE(agent_->waitForExit(std::chrono::seconds(20)));
  EXPECT_EQ(0, agent_->exitStatus());
  EXPECT_FALSE(PathExists(DataPath("vq.server")));
  EXPECT_FALSE(PathExists(DataPath("vq.server.key")));
}

TEST_F(AgentTest, SecondRunNeitherSeedsNorRegistersNorLaunches) {
  StartServer({kEmptyDocument});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  ASSERT_TRUE(QuitAgent());
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));

  // Changes made since must survive, and nothing is registered again.
  WriteFile(DataPath("settings.xml"), "<settings><mine/></settings>");
  std::remove(AutostartEntry().c_str());
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  CommandServer();
  ASSERT_TRUE(QuitAgent());
  EXPECT_EQ("<settings><mine/></settings>", ReadFile(DataPath("settings.xml")));
  EXPECT_FALSE(PathExists(AutostartEntry()));
  EXPECT_EQ(1u, Launches().size());
}

TEST_F(AgentTest, ReopenSignalLaunchesAndSigtermStopsCleanly) {
  StartServer({kEmptyDocument});
  StartAgent();
  const std::string address = CommandServer();
  // The first run's own launch is recorded by a detached process.
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));
  const size_t before = Launches().size();
  // SIGUSR1 stands for the user asking for the application again.
  agent_->signal(SIGUSR1);
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == before + 1; }));
  EXPECT_EQ(address, Launches().back());

  agent_->signal(SIGTERM);
  ASSERT_TRUE(agent_->waitForExit(std::chrono::seconds(20)));
  EXPECT_EQ(0, agent_->exitStatus());
  EXPECT_FALSE(PathExists(DataPath("vq.server")));
  EXPECT_TRUE(WaitForLog("Shutting down logging."));
}

TEST_F(AgentTest, QuitActionEndsTheAgent) {
  StartServer({"<vq version=\"2.0\"><transaction><quit/></transaction></vq>"});
  StartAgent();
  ASSERT_TRUE(agent_->waitForExit(std::chrono::seconds(30)));
  EXPECT_EQ(0, agent_->exitStatus());
  EXPECT_FALSE(PathExists(DataPath("vq.server")));
  EXPECT_FALSE(PathExists(DataPath("vq.server.key")));
}

TEST_F(AgentTest, CommandLineModes) {
  // "version": the built-in description, nothing created.
  EXPECT_EQ(1, RunAgent({"VERSION"}));
  EXPECT_NE(std::string::npos, AgentOutput().find("<vqApplication feedId=\"363\""));
  EXPECT_NE(std::string::npos, AgentOutput().find("<server>"));
  EXPECT_FALSE(PathExists(home_ + "/Library"));

  // "setstart" and "trans" do their job and end; the first of them seeds.
  StartServer({kEmptyDocument});
  EXPECT_EQ(1, RunAgent({"setstart"}));
  EXPECT_TRUE(PathExists(AutostartEntry()));
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));
  std::remove(AutostartEntry().c_str());
  EXPECT_EQ(1, RunAgent({"setstart"}));
  EXPECT_TRUE(PathExists(AutostartEntry()));
  EXPECT_EQ(1, RunAgent({"trans"}));
  EXPECT_TRUE(WaitForLog("Transaction debug file"));

  EXPECT_EQ(1, RunAgent({"proxy", "http://127.0.0.1/"}));
  EXPECT_NE(std::string::npos,
            AgentErrors().find("ProxyDetails::checkProxy is deprecated"));

  // "launch" starts the delivered application before the command server
  // exists, then runs normally.
  const size_t before = Launches().size();
  StartAgent({"launch"});
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == before + 1; }));
  EXPECT_EQ("${mongoose.host}", Launches().back());
  CommandServer();
  EXPECT_TRUE(QuitAgent());
}

TEST_F(AgentTest, InstallationWithoutInitialDataFails) {
  std::filesystem::remove_all(Bundle() + "/Contents/MacOS/initial_data");
  EXPECT_EQ(1, RunAgent({}));
  EXPECT_NE(std::string::npos,
            AgentErrors().find("No initial_data dir in installation."));
  EXPECT_FALSE(PathExists(DataDir()));
}

}  // namespace
}  // namespace e2e
