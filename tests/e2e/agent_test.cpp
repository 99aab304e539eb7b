// The real agent, started as a user would start it, against vqserve.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
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

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(AgentTest, FirstRunSeedsRegistersLaunchesUpdatesAndQuits) {
  StartServer(
      {"<vq version=\"2.0\" update=\"600\"><transaction>"
       "<write filename=\"${dir.data}/notes/welcome.txt\" "
       "perm=\"rw-------\"><![CDATA[hello]]></write>"
       "<web url=\"${download.base}/news.txt\" filename=\"notes/"
       "news.txt\" md5=\"${download.md5:news.txt}\"/>"
       "<set name=\"e2e.greeting\" value=\"hi\"/>"
       "<launch><command>${dir.data}/${swf.app}</command>"
       "<arg>--updated</arg><arg>${mongoose.host}</arg></launch>"
       "</transaction></vq>"});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  // Seeded for the owner only, the delivered program still runnable, and
  // a login item for the bundle, not hidden.
  EXPECT_EQ(0700, FileMode(DataPath()));
  EXPECT_EQ(0600, FileMode(DataPath("vqfeed.xml")));
  EXPECT_EQ(0700, FileMode(DataPath("Quillmere.app/Contents/MacOS/Quillmere")));
  const std::string entry = ReadFile(Autostart());
  EXPECT_TRUE(Has(entry, bundle_) && Has(entry, "Hidden=false")) << entry;
  // The update ran every action.
  EXPECT_EQ("hello", ReadFile(DataPath("notes/welcome.txt")));
  EXPECT_TRUE(Has(ReadFile(DataPath("notes/news.txt")), "Quillmere news"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/info/e2e.greeting"), "\r\n\r\nhi"));
  EXPECT_EQ(0600, FileMode(DataPath("vq.server")));
  ASSERT_TRUE(WaitFor([&] { return PathExists(DataPath("vq.server.key")); }));
  EXPECT_EQ(0600, FileMode(DataPath("vq.server.key")));
  EXPECT_TRUE(WaitFor(
      [&] { return ReadIfThere(DataPath("vq.server.key")).size() == 25; }));
  // The first start, before the command server existed, and the update's
  // launch, in either order.
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 2; }));
  std::vector<std::string> launches = Launches();
  std::sort(launches.begin(), launches.end());
  EXPECT_EQ("${mongoose.host}", launches[0]);
  EXPECT_EQ(0u, launches[1].find("--updated ")) << launches[1];

  EXPECT_TRUE(Has(Http("GET", "/~cmd/quit"), "<result quit=\"ok\" />"));
  ASSERT_TRUE(agent_->WaitForExit());
  EXPECT_EQ(0, agent_->status());
  EXPECT_FALSE(PathExists(DataPath("vq.server")));
  EXPECT_FALSE(PathExists(DataPath("vq.server.key")));
}

TEST_F(AgentTest, SecondRunKeepsChangesAndReopensOnSignalAndStopsOnSigterm) {
  StartServer({kEmptyDocument});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  ASSERT_TRUE(QuitAgent());
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));
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
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 2; }));
  EXPECT_EQ(address, Launches().back());
  agent_->Signal(SIGTERM);
  ASSERT_TRUE(agent_->WaitForExit());
  EXPECT_EQ(0, agent_->status());
  EXPECT_FALSE(PathExists(DataPath("vq.server")));
  EXPECT_TRUE(WaitForLog("Shutting down logging."));
  EXPECT_EQ(2u, Launches().size());
}

TEST_F(AgentTest, QuitActionEndsTheAgent) {
  StartServer({"<vq version=\"2.0\"><transaction><quit/></transaction></vq>"});
  EXPECT_EQ(0, RunAgent({}));
  EXPECT_FALSE(PathExists(DataPath("vq.server")));
  EXPECT_FALSE(PathExists(DataPath("vq.server.key")));
}

TEST_F(AgentTest, CommandLineModes) {
  // Without initial data the installation is refused; nothing is created.
  const std::string initial = bundle_ + "/Contents/MacOS/initial_data";
  std::filesystem::rename(initial, initial + ".away");
  EXPECT_EQ(1, RunAgent({}));
  EXPECT_TRUE(Has(ReadIfThere(temp_.Append("agent.err")),
                  "No initial_data dir in installation."));
  std::filesystem::rename(initial + ".away", initial);
  // "version" prints the built-in description.
  EXPECT_EQ(1, RunAgent({"VERSION"}));
  const std::string version = ReadIfThere(temp_.Append("agent.out"));
  EXPECT_TRUE(Has(version, "<vqApplication feedId=\"363\"")) << version;
  EXPECT_TRUE(Has(version, "<server>")) << version;
  EXPECT_FALSE(PathExists(home_ + "/Library"));

  // "setstart" and "trans" do their job and end; the first of them seeds.
  StartServer({kEmptyDocument});
  EXPECT_EQ(1, RunAgent({"setstart"}));
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));
  std::remove(Autostart().c_str());
  EXPECT_EQ(1, RunAgent({"setstart"}));
  EXPECT_TRUE(PathExists(Autostart()));
  EXPECT_EQ(1, RunAgent({"trans"}));
  EXPECT_TRUE(WaitForLog("Transaction debug file"));
  EXPECT_EQ(1, RunAgent({"proxy", "http://127.0.0.1/"}));
  EXPECT_TRUE(Has(ReadIfThere(temp_.Append("agent.err")),
                  "ProxyDetails::checkProxy is deprecated"));
  // "launch" starts the application before the command server exists, then
  // runs on.
  StartAgent({"launch"});
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 2; }));
  EXPECT_EQ("${mongoose.host}", Launches().back());
  EXPECT_TRUE(QuitAgent());
}

// A document that writes "posted" to `name`.
std::string Write(const std::string& name) {
  return "<vq><transaction><write filename=\"" + name +
         "\"><![CDATA[posted]]></write></transaction></vq>";
}

TEST_F(AgentTest, CommandServerServesWithTheKeyAndProtectsIt) {
  StartServer({kEmptyDocument});
  StartAgent();
  ASSERT_TRUE(WaitForLog("timediff :"));
  std::string key;
  ASSERT_TRUE(WaitFor(
      [&] { return !(key = ReadIfThere(DataPath("vq.server.key"))).empty(); }));
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));
  const struct {
    const char* method;
    std::string target, body, expected;
  } cases[] = {
      {"GET", "/~cmd/version", "", "<vqApplication feedId=\"363\""},
      {"GET", "/~cmd/info/app.title", "", "\r\n\r\nQuillmere (demo)"},
      {"GET", "/~cmd/set/e2e.x/5", "", "403"},
      {"GET", "/~cmd/set/e2e.x/5?key=" + key, "", "e2e.x=5"},
      {"GET", "/~cmd/info", "", "e2e.x"},
      {"GET", "/~cmd/wake", "", "<result wake=\"ok\" />"},
      {"GET", "/~cmd/infox", "", "404"},
      {"GET", "/~cmd/launch?key=" + key, "", "ERROR - NO LAUNCH FILE GIVEN"},
      {"POST", "/~cmd/process", Write("refused.txt"), "403"},
      {"POST", "/~cmd/process?key=" + key, "<other/>",
       "Submitted XML is not a vq root node."},
      {"POST", "/~cmd/process?key=" + key, "<vq", "XML parsing of XML failed"},
      {"POST", "/~cmd/process?key=" + key, Write("posted.txt"),
       "<vq><![CDATA[OK]]></vq>"},
      // The key itself is never served, however its path is spelt.
      {"GET", "/vq.server.key", "", "403"},
      {"GET", "/%76q.server.key", "", "403"},
      {"GET", "/x/../vq.server.key", "", "403"},
      {"GET", "/settings.xml", "", "<channel"},
  };
  for (const auto& c : cases) {
    const std::string reply = Http(c.method, c.target, c.body);
    EXPECT_TRUE(Has(reply, c.expected)) << c.target << "\n" << reply;
  }
  EXPECT_EQ("posted", ReadFile(DataPath("posted.txt")));
  EXPECT_FALSE(PathExists(DataPath("refused.txt")));
  EXPECT_FALSE(Has(Http("GET", "/vq.server.key"), key));
  EXPECT_TRUE(
      Has(Http("GET", "/~cmd/info/app.name", "", "evil.example"), "403"));
  // Launching the delivered application hands it the server's address.
  EXPECT_TRUE(Has(Http("GET", "/~cmd/launchswf"), "<vq><![CDATA[OK]]></vq>"));
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == 2; }));
  EXPECT_EQ(CommandServer(), Launches().back());
}

// One transaction that replaces settings.xml and writes many files, so that
// a kill can land while it runs.
constexpr int kFiles = 150;
std::string BigUpdate() {
  std::string document =
      "<vq version=\"2.0\" update=\"600\"><transaction><write filename="
      "\"settings.xml\"><![CDATA[<settings><new/></settings>]]></write>";
  for (int i = 0; i < kFiles; ++i) {
    document += "<write filename=\"batch/f" + std::to_string(i) +
                ".txt\"><![CDATA[new]]></write>";
  }
  return document + "</transaction></vq>";
}

TEST_F(AgentTest, SigkillMidTransactionIsRecoveredAtRestart) {
  StartServer({BigUpdate()});
  int interrupted = 0;
  // Kill at growing delays after the journal appeared, each round from a
  // fresh data folder.
  for (int delayUs : {0, 500, 2000, 5000}) {
    SCOPED_TRACE(delayUs);
    std::filesystem::remove_all(home_ + "/Library");
    StartAgent();
    // A tight poll: the journal exists only while the transaction runs.
    const std::string journal = DataPath(".transaction.dat");
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!PathExists(journal) && agent_->Running() &&
           std::chrono::steady_clock::now() < deadline) {
      usleep(100);
    }
    usleep(static_cast<useconds_t>(delayUs));
    agent_->Signal(SIGKILL);
    ASSERT_TRUE(agent_->WaitForExit());
    interrupted += PathExists(journal);
    const std::string staleKey = ReadIfThere(DataPath("vq.server.key"));

    // Recovery runs first at the next start; with no update server to
    // reach, nothing runs after it.
    WriteFile(DataPath("vqconnect.xml"),
              "<vqconnect version=\"1.0\"><server>http://127.0.0.1:9/"
              "</server></vqconnect>");
    StartAgent();
    ASSERT_TRUE(WaitFor([&] {
      const std::string key = ReadIfThere(DataPath("vq.server.key"));
      return !key.empty() && key != staleKey;
    }));
    EXPECT_FALSE(PathExists(journal));
    int present = 0;
    for (int i = 0; i < kFiles; ++i) {
      present += PathExists(DataPath("batch/f" + std::to_string(i) + ".txt"));
    }
    const bool replaced = Has(ReadFile(DataPath("settings.xml")), "<new/>");
    // All or nothing.
    EXPECT_TRUE((present == 0 && !replaced) || (present == kFiles && replaced))
        << present << " files, settings replaced: " << replaced;
    EXPECT_TRUE(QuitAgent());
  }
  // At least one kill must have landed inside the transaction.
  EXPECT_GT(interrupted, 0);
}

}  // namespace
}  // namespace e2e
