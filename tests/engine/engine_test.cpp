// The engine's rules, then the update thread and the error reporter against the reference update
// server on 127.0.0.1.
#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <log4cpp/FileAppender.hh>
#include <log4cpp/PatternLayout.hh>
#include <signal.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "app/thread_external_interface.h"
#include "engine/exception_reporter.h"
#include "engine/log_tail.h"
#include "engine/update_schedule.h"
#include "engine/vq_feed_settings.h"
#include "engine/vq_thread.h"
#include "lifecycle/vq_application.h"
#include "support/apr_pool.h"
#include "support/http_query_string.h"
#include "support/vq_exception.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"
#include "transact/transactional_external_interface.h"
#include "web/answer_protocol.h"
#include "web/web.h"

namespace {

using vq_testing::WaitFor;

// What the fake application is given and asked.
struct Record {
  std::vector<std::string> servers;
  std::function<void()> onServerList;  // run inside getAllServers
  std::atomic<bool> quit{false}, failMachineId{false};
  std::atomic<int> serverLists{0}, terminates{0};
};

class FakeExternal : public ThreadExternalInterface, public TransactionalExternalInterface {
 public:
  explicit FakeExternal(Record& record) : r_(record) {}
  TransactionalExternalInterface* getTransactionalExternalInterface() override { return this; }
  void getAllServers(std::vector<std::string>& out) override {
    ++r_.serverLists;
    out = r_.servers;
    if (r_.onServerList) r_.onServerList();
  }
  const char* getMachineId() override {
    if (r_.failMachineId) throw VqException("machine id unknown");
    return "00:11:22:33:44:55";
  }
  bool shouldQuit() override { return r_.quit; }
  void setQuit() override { r_.quit = true; }
  void terminate() override { ++r_.terminates; }
  std::vector<std::string>& getDefaultServers() override { return r_.servers; }
  const char* getBuild() override { return "b-17"; }
  long getFeedId() override { return 42; }
  long getAppId() override { return 7; }
  const char* getPlatform() override { return "mac"; }
  const char* getOS() override { return "Linux test/1.0"; }
  void flushLog() override {}
  void threadInit(VqThread*) override {}
  void threadQuit(VqThread*) override {}
  void setUpgrade() override {}
  void setVariable(const std::string& name, const std::string& value) override {
    VqApplication::setEnv(name.c_str(), value);
  }
  int launchProcess(std::string&, std::vector<std::string>&) override { return 0; }

 private:
  Record& r_;
};

// Whole lines of file `path` holding `text` (starting with it if `atStart`).
std::vector<std::string> Lines(const std::string& path, const std::string& text, bool atStart) {
  std::vector<std::string> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line) && !in.eof();) {
    const std::size_t at = line.find(text);
    if (at != std::string::npos && (!atStart || at == 0)) out.push_back(line);
  }
  return out;
}

// The reference update server on 127.0.0.1, signing with the demo key the agent trusts; killed by
// the destructor.
struct Vqserve {
  Vqserve(const std::string& log, const std::vector<std::string>& args) : log_(log) {
    std::string command = "echo $$; exec '" VQSERVE_PATH "' --listen 127.0.0.1:0 "
                          "--threads 2 --key '" VQ_DEMO_PRIVATE_KEY "' --log '" + log + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    char address[256];
    pipe_ = popen(command.c_str(), "r");
    if (fscanf(pipe_, "%d listening %255s", &pid_, address) != 2) throw std::runtime_error(command);
    url = address;
  }
  ~Vqserve() { kill(pid_, SIGKILL); pclose(pipe_); }  // its log is flushed per request
  // Its whole log lines for `page` (all when empty).
  std::vector<std::string> requests(const std::string& page = "") const {
    return Lines(log_, "{\"page\":\"" + page, true);
  }

  FILE* pipe_;
  int pid_ = -1;
  std::string log_, url;  // "http://127.0.0.1:N/"
};

// The JSON-escaped value of parameter `name` in a request line.
std::string Param(const std::string& request, const std::string& name) {
  const std::string key = "[\"" + name + "\",\"";
  const std::size_t from = request.find(key) + key.size();
  return request.find(key) == std::string::npos ? "<none>"
                                                : request.substr(from, request.find("\"]", from) - from);
}

// Nothing listens on these ports: connections are refused at once.
const std::string kDeadA = "http://127.0.0.1:1/";
const std::string kDeadB = "http://127.0.0.1:2";

bool UpdateDone() { return !VqApplication::getEnv(VqApplication::UPDATE_LAST).empty(); }

// Each test runs in an empty data directory, its working directory, with fresh variables
// ("secure.sign" true, as the application sets it) and the log captured, printed when it fails.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* appender = new log4cpp::FileAppender("engine", files_.Append("log"));
    auto* layout = new log4cpp::PatternLayout();
    layout->setConversionPattern("%p %m%n");
    appender->setLayout(layout);
    log4cpp::Category::getRoot().addAppender(appender);
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::DEBUG);
    std::filesystem::current_path(data_.path());
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::SECURE_SIGN, "true");
    VqApplication::setEnv(VqApplication::DIR_DATA, data_.path());
  }
  void TearDown() override {
    StopThread();
    ExceptionReporter::getReporter()->clearExternal(&external_);
    if (HasFailure()) std::cerr << vq_testing::ReadFile(files_.Append("log"));
    log4cpp::Category::getRoot().removeAllAppenders();
    std::filesystem::current_path(previousDir_);
    VqApplication::clearEnv();
  }
  void WriteDataFile(const std::string& name, const std::string& contents) {
    vq_testing::WriteFile(data_.Append(name), contents);
  }
  std::string Document(const std::string& xml) {  // a file for servers
    const std::string path = files_.Append(std::to_string(++documents_) + ".xml");
    vq_testing::WriteFile(path, xml);
    return path;
  }
  // Whole log lines ("PRIORITY message") holding `text`.
  std::vector<std::string> LogLines(const std::string& text) const {
    return Lines(files_.Append("log"), text, false);
  }
  int LogCount(const std::string& text) const { return static_cast<int>(LogLines(text).size()); }
  long LoggedSecondsToNextUpdate() const {  // as a thread last logged them, or -1
    const std::vector<std::string> lines = LogLines("DEBUG now = ");
    return lines.empty() ? -1 : std::atol(lines.back().substr(lines.back().find(" : = ") + 5).c_str());
  }
  bool PassesLogged(int passes) {  // by all threads so far
    return WaitFor([&] { return LogCount("DEBUG now = ") >= passes; });
  }
  Vqserve& StartServer(const std::vector<std::string>& args = {}) {
    servers_.push_back(std::make_unique<Vqserve>(
        files_.Append("requests" + std::to_string(servers_.size())), args));
    return *servers_.back();
  }
  bool Requests(const Vqserve& server, const std::string& page, std::size_t n) {
    return WaitFor([&] { return server.requests(page).size() >= n; }, std::chrono::seconds(20));
  }
  VqThread& StartThread(const std::vector<std::string>& servers) {
    record_.servers = servers;
    thread_ = std::make_unique<VqThread>(new FakeExternal(record_), nullptr);
    return *thread_;
  }
  void StopThread() { thread_.reset(); }  // exits and joins
  // The code of the report an update from a server with `args` made.
  std::string ReportedCode(const std::vector<std::string>& args) {
    Vqserve& server = StartServer(args);
    StartThread({server.url});
    EXPECT_TRUE(Requests(server, "vqerror.php", 1));
    StopThread();
    const std::string report = server.requests("vqerror.php").at(0);
    EXPECT_EQ(Param(report, "lastUrl"), server.url + "vq.php");
    return Param(report, "errCode");
  }
  void Report(VqException error) {  // with the fake as the application
    ExceptionReporter::getReporter()->setExternal(&external_);
    ExceptionReporter::getReporter()->report(error);
  }

  const std::filesystem::path previousDir_ = std::filesystem::current_path();
  vq_testing::ScopedTempDir data_, files_;
  int documents_ = 0;
  Record record_;
  FakeExternal external_{record_};
  std::unique_ptr<VqThread> thread_;
  std::vector<std::unique_ptr<Vqserve>> servers_;
};

TEST(UpdateScheduleTest, IntervalsThatWouldSpinOrOverflowAreBounded) {
  for (const auto& [in, out] : {std::pair<long, long>{30, 30}, {0, 1}, {LONG_MAX, INT_MAX}}) {
    EXPECT_EQ(clampUpdateSeconds(in), out) << in;
  }
  EXPECT_EQ(updateTimeAfterSuccess(0, INT_MAX), INT_MAX * apr_time_t{1000000});  // 64-bit
  EXPECT_EQ(debugRefreshUpdateTime(0, LONG_MAX), INT_MAX * apr_time_t{100000});
}

// The feed parameters of an update, encoded as they would be posted.
std::string FeedBody() {
  struct UnsentWeb : Web {
    using Web::Web;
    bool get() override { return true; }
  };
  apr::Pool pool;
  UnsentWeb web(pool);
  VqFeedSettings(pool).prepareRequest(web);
  return std::string(web.getParams().begin(), web.getParams().size());
}
std::string Vq(const std::string& body) { return http::QueryString(body.c_str()).parameters()["vq"]; }

TEST_F(EngineTest, LogTailOfALongCurrentLogLeavesThePreviousOut) {
  apr::Pool pool;
  WriteDataFile("vq.log.1", "previous");
  WriteDataFile("vq.log", std::string(10000, 'd') + std::string(20000, 'e'));
  EXPECT_EQ(readLogTail("vq.log", "vq.log.1", 20000, pool), std::string(20000, 'e'));
}

TEST_F(EngineTest, FeedFaultsAreSentAsErrorDocumentsWithTheFile) {
  EXPECT_EQ(Vq(FeedBody()),
            "<error description=\"cannot open vqfeed.xml\" code=\"NO_VQFEED_FILE\" />");
  const auto error = [](const std::string& attributes, const std::string& cdata) {
    return "<error " + attributes + "><![CDATA[" + cdata + "]]></error>";
  };
  const std::string bad = "description=\"Error document empty.\" code=\"BAD_VQFEED_FILE\"";
  std::string deep = "<vqfeed version=\"2.0\">";
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  for (const auto& [contents, expected] : std::vector<std::pair<std::string, std::string>>{
           // Refused before the recursive parser.
           {deep, error("description=\"XML elements nest deeper than 256 levels\" "
                        "code=\"BAD_VQFEED_FILE\"", deep)},
           {"<feed version=\"2.0\"/>", error("code=\"INCORRECT_XML\"", "<feed version=\"2.0\"/>")},
           // Text that closes its CDATA section early cannot inject nodes.
           {"x]]><injected/>", error(bad, "x]]]]><![CDATA[><injected/>")}}) {
    WriteDataFile("vqfeed.xml", contents);
    EXPECT_EQ(Vq(FeedBody()), expected);
  }
}

TEST_F(EngineTest, IncludesAreMarkedAndAttachedDepthFirst) {
  WriteDataFile("sub/b.txt", "beta");
  WriteDataFile("c.txt", std::string("head\0tail", 9));
  vq_testing::MakeDirs("folder");
  WriteDataFile("vqfeed.xml",
                "<VQFEED version=\"2.0\"><d><INCLUDE file=\"${dir.data}/sub/b.txt\"/></d>"
                "<include file=\"folder\"/><include file=\"missing.txt\"/><include/>"
                "<include file=\"c.txt\"/><include file=\"c.txt\" inline=\"TRUE\"/>"
                "<include file=\"c.txt\"/><x><include file=\"c.txt\" inline=\"true\"/></x>"
                "</VQFEED>");
  // Parameters depth first, NUL bytes kept; repeats among siblings removed.
  const std::string body = FeedBody();
  EXPECT_EQ(body.substr(0, body.find("vq=")), "p1=beta&p2=head%00tail&");
  EXPECT_EQ(Vq(body),
            "<VQFEED version=\"2.0\"><d><INCLUDE file=\"${dir.data}/sub/b.txt\" "
            "exists=\"true\" param=\"p1\" /></d><include file=\"folder\" exists=\"directory\" />"
            "<include file=\"missing.txt\" exists=\"false\" /><include exists=\"false\" />"
            "<include file=\"c.txt\" exists=\"true\" param=\"p2\" /><x><include file="
            "\"c.txt\" inline=\"true\" exists=\"true\"><![CDATA[head]]></include></x>"
            "</VQFEED>");
  EXPECT_EQ(LogCount("ERROR file attribute of include node is NULL"), 1);
}

TEST_F(EngineTest, UserIdComesOnlyFromAUsableVersion2Feed) {
  VqFeedSettings::installUserIdProvider();
  EXPECT_EQ(VqApplication::getEnv(VqApplication::ID_USER), "-1");
  WriteDataFile("vqfeed.xml", "<vqfeed version=\"2.0\"><user id=\"42\"/></vqfeed>");
  EXPECT_EQ(VqApplication::getEnv(VqApplication::ID_USER), "42");
  for (const char* feed : {"<vqfeed version=\"1.0\"><user id=\"4\"/></vqfeed>",
                           "<vqfeed version=\"2.0\"><x><user id=\"5\"/></x></vqfeed>"}) {
    WriteDataFile("vqfeed.xml", feed);
    EXPECT_EQ(VqFeedSettings::getUserId(), -1) << feed;
  }
}

TEST_F(EngineTest, UpdatesPostIdentifiersThenTheFeedAndReportADeadServer) {
  WriteDataFile("state.txt", "local state");
  WriteDataFile("vqfeed.xml", "<vqfeed version=\"2.0\"><include file=\"state.txt\"/></vqfeed>");
  const std::string ids =
      R"({"page":"vq.php","method":"POST","uri":"/vq.php","status":200,"params":[)"
      R"(["feedId","42"],["build","b-17"],["appId","7"],["os","Linux test/1.0"],)"
      R"(["platform","mac"],["machineId","00:11:22:33:44:55"],)";
  const std::string feed = R"(["p1","local state"],["vq","<vqfeed version=\"2.0\">)"
                           R"(<include file=\"state.txt\" exists=\"true\" param=\"p1\" />)";
  Vqserve& live = StartServer();
  Vqserve& spare = StartServer();
  StartThread({kDeadA, live.url, spare.url});
  ASSERT_TRUE(WaitFor(UpdateDone));
  StopThread();
  EXPECT_EQ(live.requests("vq.php").at(0).rfind(ids + R"(["sign","true"],)" + feed, 0), 0u);
  // The dead server is reported to the next that answers; the spare is not asked.
  EXPECT_TRUE(spare.requests().empty());
  ASSERT_EQ(live.requests().size(), 2u);
  EXPECT_EQ(Param(live.requests("vqerror.php").at(0), "errCode"), "155");
  EXPECT_EQ(Param(live.requests("vqerror.php").at(0), "lastUrl"), kDeadA + "vq.php");
  EXPECT_EQ(LoggedSecondsToNextUpdate() / 10, 59);  // 600 s by default

  // With signing off, an unsigned answer is accepted and nothing reported.
  VqApplication::setEnv(VqApplication::UPDATE_LAST, "");
  VqApplication::setEnv(VqApplication::SECURE_SIGN, "false");
  Vqserve& unsigned_ = StartServer({"--no-sign"});
  StartThread({unsigned_.url});
  ASSERT_TRUE(WaitFor(UpdateDone));
  EXPECT_EQ(unsigned_.requests().at(0).rfind(ids + feed, 0), 0u);
  EXPECT_EQ(unsigned_.requests().size(), 1u);
}

TEST_F(EngineTest, EveryRequestEndsWithItsOwnNonceAndSignedServersArePinned) {
  Vqserve& server = StartServer();
  VqThread& thread = StartThread({server.url});
  ASSERT_TRUE(Requests(server, "vq.php", 1));
  thread.update();
  ASSERT_TRUE(Requests(server, "vq.php", 2));
  // Stopping cancels a pass in flight; let the second one finish first.
  ASSERT_TRUE(PassesLogged(2));
  StopThread();
  Report(VqException("reported"));
  std::vector<std::string> requests = server.requests("vq.php");
  requests.push_back(server.requests("vqerror.php").at(0));
  std::set<std::string> nonces;
  for (const std::string& request : requests) {  // each the last parameter
    const std::string nonce = Param(request, vq_answer::kNonceParameter);
    EXPECT_TRUE(vq_answer::isWellFormedNonce(nonce)) << request;
    EXPECT_EQ(request.substr(request.rfind("[\"")),
              "[\"" + std::string(vq_answer::kNonceParameter) + "\",\"" + nonce + "\"]]}");
    nonces.insert(nonce);
  }
  EXPECT_EQ(nonces.size(), 3u);
  // vqserve signed for each nonce, so the server is now pinned.
  EXPECT_EQ(vq_testing::ReadFile(data_.Append("vq.pins")), server.url + "\n");
  EXPECT_EQ(LogCount("ERROR"), 0);
}

TEST_F(EngineTest, FailedPassesAreRetriedFiveMinutesLater) {
  StartThread({kDeadA, kDeadB});
  ASSERT_TRUE(PassesLogged(1));
  StopThread();
  EXPECT_EQ(LogCount("ERROR Failed to connect to any vq server for update."), 1);
  EXPECT_EQ(LogCount("ERROR Error on server " + kDeadB + "/vq.php"), 1);
  EXPECT_GE(LoggedSecondsToNextUpdate(), 295);

  // An update aborted by an exception is logged once and left for a later pass, not retried at
  // once forever; its report needs the machine id too.
  record_.failMachineId = true;
  Vqserve& server = StartServer();
  StartThread({server.url});
  ASSERT_TRUE(PassesLogged(2));
  StopThread();
  EXPECT_EQ(LogCount("ERROR Caught VqException: machine id unknown"), 1);
  EXPECT_EQ(LogCount("error sending preparation: machine id unknown"), 1);
  EXPECT_GE(LoggedSecondsToNextUpdate(), 295);
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(EngineTest, ShortIntervalsRepeatWithoutSpinningOrStalling) {
  // Server interval ("": 600 s), debug.refresh (tenths of a second), least time for three
  // updates. An interval below the refresh must not stall updates.
  for (const auto& [update, refresh, millis] : std::vector<std::tuple<std::string, const char*, int>>{
           {"0", "0", 1900}, {"", "5", 900}, {"1", "15", 2900}}) {
    VqApplication::setEnv(VqApplication::DEBUG_REFRESH, refresh);
    Vqserve& server = update.empty() ? StartServer() : StartServer({"--fixed",
        Document("<vq version=\"2.0\" update=\"" + update + "\"/>")});
    const auto start = std::chrono::steady_clock::now();
    StartThread({server.url});
    ASSERT_TRUE(Requests(server, "vq.php", 3)) << refresh;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(millis));
    StopThread();
  }
}

TEST_F(EngineTest, WakeEndsTheSleepButOnlyUpdateUpdatesAndExitIsFinal) {
  Vqserve& server = StartServer();
  VqThread& thread = StartThread({server.url});
  ASSERT_TRUE(PassesLogged(1));
  thread.wake();
  ASSERT_TRUE(PassesLogged(2));
  EXPECT_EQ(server.requests().size(), 1u);
  thread.update();
  ASSERT_TRUE(Requests(server, "vq.php", 2));
  thread.exit();
  thread.update();
  thread.exit();
  EXPECT_EQ(record_.terminates.load(), 1);
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(EngineTest, WakeUpdateAndExitFromTheUpdateThreadItself) {
  std::atomic<VqThread*> self{nullptr};
  record_.onServerList = [&] {
    if (!WaitFor([&] { return self != nullptr; })) return;
    if (record_.serverLists == 1) {  // no deadlock, and the update follows at once
      self.load()->wake();
      self.load()->update();
    } else {
      self.load()->exit();  // the pass runs to its end but tries no server
    }
  };
  Vqserve& server = StartServer();
  self = &StartThread({server.url});
  ASSERT_TRUE(WaitFor([&] { return record_.terminates == 1; }));
  EXPECT_EQ(record_.serverLists.load(), 2);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(EngineTest, ARefusedAnswerIsNoUpdateButAFailedTransactionIs) {
  EXPECT_EQ(ReportedCode({"--bad-sign"}), "250");
  EXPECT_FALSE(UpdateDone());  // a refused answer does not count as an update
  // A failed transaction is reported too, but the update counts.
  EXPECT_EQ(ReportedCode({"--fixed", Document(
                "<vq version=\"2.0\" update=\"40\"><transaction><error description="
                "\"server says no\" zone=\"1\" severity=\"2\" code=\"777\"/>"
                "</transaction></vq>")}), "777");
  EXPECT_TRUE(UpdateDone());  // and the server's interval sets the next one
  EXPECT_GE(LoggedSecondsToNextUpdate(), 38);
  EXPECT_LE(LoggedSecondsToNextUpdate(), 40);
}

TEST_F(EngineTest, TheFirstServerWhoseReplyPassesGetsTheOnlyReport) {
  VqApplication::setEnv(VqApplication::ID_FEED, 42L);
  VqApplication::setEnv(VqApplication::ID_APP, 7L);
  WriteDataFile("vqfeed.xml", "<vqfeed version=\"2.0\"/>");
  WriteDataFile("vq.log.1", std::string(30000, 'o'));
  WriteDataFile("vq.log", "recent line\n");
  Vqserve& unsigned_ = StartServer({"--no-sign"});
  Vqserve& first = StartServer();
  Vqserve& second = StartServer();
  record_.servers = {kDeadA, unsigned_.url, first.url, second.url};
  Report(VqException(VqException::zone(1), VqException::severity(2), VqException::code(250),
                     std::string("bad sig & more")));
  EXPECT_EQ(unsigned_.requests().size(), 1u);
  EXPECT_TRUE(second.requests().empty());
  ASSERT_EQ(first.requests().size(), 1u);
  const std::string nonce = Param(first.requests()[0], "nonce");
  EXPECT_TRUE(vq_answer::isWellFormedNonce(nonce)) << nonce;
  EXPECT_EQ(first.requests()[0],
            R"({"page":"vqerror.php","method":"POST","uri":"/vqerror.php","status":200,)"
            R"("params":[["build","b-17"],["feedId","42"],["appId","7"],)"
            R"(["os","Linux test/1.0"],["platform","mac"],["machineId","00:11:22:33:44:55"],)"
            R"(["errCode","250"],["errDesc","bad sig & more"],["errZone","1"],)"
            R"(["errSeverity","2"],["userId","-1"],["logFile",")" + std::string(19988, 'o') +
                R"(recent line\n"],["feedFile","<vqfeed version=\"2.0\"/>"],)"
                R"(["lastUrl","NO URL"],["sign","true"],["nonce",")" + nonce + R"("]]})");
  EXPECT_EQ(LogCount("ERROR Exception encountered during ExceptionReporting to server " +
                     kDeadA + "vqerror.php"), 1);
}

TEST_F(EngineTest, RepliesRunWithoutReportingAndReportsDuringAReportAreDropped) {
  Vqserve& server = StartServer({"--error-actions", Document(
      "<vq version=\"2.0\"><transaction><set name=\"reply.ran\" value=\"yes\"/></transaction>"
      "<transaction><error description=\"from reply\" code=\"901\"/></transaction></vq>")});
  record_.servers = {server.url};
  record_.onServerList = [&] {
    VqException inner("inner");
    if (record_.serverLists == 1) ExceptionReporter::getReporter()->report(inner);
  };
  Report(VqException("outer"));
  EXPECT_EQ(VqApplication::getEnv("reply.ran"), "yes");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(Param(server.requests()[0], "errDesc"), "outer");
  Report(VqException("later"));  // the guard was cleared
  EXPECT_EQ(server.requests().size(), 2u);

  ExceptionReporter::getReporter()->setExternal(nullptr);
  VqException orphan("orphan");
  ExceptionReporter::getReporter()->report(orphan);
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(LogCount("ERROR report dropped: no application interface"), 1);
}

}  // namespace
