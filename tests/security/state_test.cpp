// Keyless requests do not grow state, slow clients cannot starve the server,
// requests cannot forge log lines, containment follows links, and stopping
// the server lets a reply in progress finish.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>

#include "lifecycle/vq_application.h"
#include "security/security_fixture.h"
#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace security_testing {
namespace {

using cmdserver_testing::FakeCommandTarget;
using cmdserver_testing::Loopback;
using vq_testing::WaitFor;

// The fake application with the real process-wide variables, which hold
// only its data directory when it starts.
class RealVariables : public FakeCommandTarget {
 public:
  explicit RealVariables(const std::string& dataDir) : FakeCommandTarget(dataDir) {
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::DIR_DATA, dataDir);
  }
  ~RealVariables() override { VqApplication::clearEnv(); }
  std::string getEnv(const std::string& name) override { return VqApplication::getEnv(name); }
  void setEnv(const std::string& name, const std::string& value) override {
    VqApplication::setEnv(name.c_str(), value);
  }
  std::map<std::string, std::string> getEnvMap() override { return VqApplication::getEnvMap(); }
};

using UnknownNamesTest = cmdserver_testing::ServerTestOver<RealVariables>;

TEST_F(UnknownNamesTest, ReadingUnknownNamesEntersNothing) {
  const std::size_t before = VqApplication::getEnvMap().size();
  EXPECT_EQ(VqApplication::getEnv("never.set"), "");
  for (int i = 0; i < 300; ++i) {
    const std::string answer = Get("/~cmd/info/flood." + std::to_string(i));
    ASSERT_EQ(StatusOf(answer), 200) << answer;
  }
  EXPECT_EQ(VqApplication::getEnvMap().size(), before);
  const std::string listing = Get("/~cmd/info");
  EXPECT_EQ(listing.find("flood."), std::string::npos);
  EXPECT_EQ(listing.find("never.set"), std::string::npos);
  EXPECT_NE(listing.find("mongoose.port"), std::string::npos);
}

// A socket connected to the server that `sends` the beginning of a request
// and never finishes it (or sends nothing at all).
class HeldConnection {
 public:
  HeldConnection(unsigned short port, const std::string& sends)
      : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    const sockaddr_in address = Loopback(port);
    connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (connected_ && !sends.empty()) {
      connected_ = send(fd_, sends.data(), sends.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(sends.size());
    }
  }
  ~HeldConnection() { close(fd_); }
  bool connected() const { return connected_; }
  // True once the server has closed its side (after an error reply, if it
  // sends one).
  bool closedByServer() const {
    char buffer[512];
    ssize_t n;
    while ((n = recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) continue;
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
  }

 private:
  int fd_;
  bool connected_ = false;
};

using SlowClientsTest = SecurityTest;

TEST_F(SlowClientsTest, IdleAndSlowConnectionsLeaveRoomAndAreClosed) {
  std::vector<std::unique_ptr<HeldConnection>> held;
  for (int i = 0; i < 16; ++i) {
    held.push_back(std::make_unique<HeldConnection>(port_, ""));
    held.push_back(std::make_unique<HeldConnection>(
        port_, "GET /~cmd/version HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "));
  }
  for (const auto& connection : held) ASSERT_TRUE(connection->connected());

  const std::string answer = LoopbackExchange(
      port_, "GET /~cmd/version HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
      std::chrono::seconds(2));
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK", 0), 0u) << "no answer within 2 s: " << answer;

  // The server itself closes the sockets it was made to hold.
  EXPECT_TRUE(WaitFor([&] {
    return std::all_of(held.begin(), held.end(), [](const auto& c) { return c->closedByServer(); });
  }, std::chrono::seconds(20)));
}

using ForgedLinesTest = SecurityTest;

TEST_F(ForgedLinesTest, RequestTextNeverStartsALogLine) {
  const std::string long_value(20000, 'v');
  for (const std::string& target : std::vector<std::string>{
           "/~cmd/info/a%0D%0AFORGED%20line", "/~cmd/info?p%0AFORGED=v%0D%0AFORGED",
        Keyed("/~cmd/set/x%0AFORGED/v%0AFORGED"), "/~cmd/quit?forward=http://x/%0D%0AFORGED",
        "/~cmd/quit?forward=http://x/%1b%5b2J" + long_value,
        Keyed("/~cmd/launch?file=a%0AFORGED&arg1=b%0AFORGED"), "/~cmd/path/?path=a%0AFORGED",
        "/~cmd/path/?path=" + long_value, "/missing%0AFORGED.txt"}) {
    EXPECT_NE(StatusOf(Send("GET", target)), 0) << target;
  }
  for (const std::string& body :
       std::vector<std::string>{"<vq>\nFORGED body\r\nFORGED</vq>", "bad\nFORGED document",
                                "<vq>" + std::string(100000, 'b') + "</vq>"}) {
    EXPECT_NE(StatusOf(Send("POST", Keyed("/~cmd/process"), {}, body)), 0) << body.substr(0, 40);
  }
  const std::regex agentLine(
      R"(\d{8}-\d\d:\d\d:\d\d\.\d{3} (DEBUG|INFO|NOTICE|WARN|ERROR|CRIT|ALERT|FATAL|EMERG) )");
  std::ifstream log(LogPath());
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) {
    EXPECT_TRUE(std::regex_search(line, agentLine, std::regex_constants::match_continuous))
        << line.substr(0, 200);
    EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    EXPECT_LT(line.size(), 5000u) << line.substr(0, 200);
  }
  EXPECT_GT(lines, 10);
}

TEST(ContainmentTest, OnlyTheDataDirectoryAndWhatLiesBelowItAreAccepted) {
  vq_testing::ScopedTempDir root;
  vq_testing::ScopedTempDir outside;
  const std::string data = root.Append("data");
  vq_testing::WriteFile(data + "/sub/kept.txt", "kept");
  vq_testing::WriteFile(outside.Append("victim.txt"), "victim");
  ASSERT_EQ(symlink(outside.path().c_str(), (data + "/ext").c_str()), 0);
  ASSERT_EQ(symlink(outside.Append("victim.txt").c_str(),
                    (data + "/file-link").c_str()), 0);
  ASSERT_EQ(symlink("sub", (data + "/inner-link").c_str()), 0);
  ASSERT_EQ(symlink(data.c_str(), root.Append("data-link").c_str()), 0);

  apr::Pool pool;
  struct Case {
    std::string dataDir, tested, expected;  // "" when refused
  };
  const std::string viaLink = root.Append("data-link");
  const Case cases[] = {
      {data, "ext/victim.txt", ""}, {data, "ext", ""}, {data, "ext/absent/deeper", ""},
      {data, "file-link", ""}, {data, data + "/ext/victim.txt", ""},
      {data, "sub/../ext/victim.txt", ""}, {data, "sub/kept.txt", data + "/sub/kept.txt"},
      {data, "new/not-yet.txt", data + "/new/not-yet.txt"},
      {data, "inner-link/kept.txt", data + "/inner-link/kept.txt"},
      // A data directory reached through a link of its own is still itself.
      {viaLink, "sub/kept.txt", viaLink + "/sub/kept.txt"}, {viaLink, "ext/victim.txt", ""},
      // Without links: ".." is resolved, and siblings that merely share the
      // name's beginning are outside.
      {"/x/data", "sub/../file", "/x/data/file"}, {"/x/data", "../other", ""},
      {"/x/data", "/x/data/../database/f", ""},
      // The data directory is compared in the merge's normal form.
      {"/home/u//data", "/home/u/data/f", "/home/u/data/f"},
      // Without a data directory nothing is beneath it.
      {"", "/etc/hosts", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VqApplication::resolveInDataDir(c.dataDir, c.tested.c_str(), pool),
              c.expected)
        << c.dataDir << " + " << c.tested;
  }
}

TEST(ContainmentTest, DeleteActionThroughALinkLeavesTheOutsideFile) {
  vq_testing::ScopedTempDir data;
  vq_testing::ScopedTempDir outside;
  vq_testing::WriteFile(outside.Append("victim.txt"), "victim");
  vq_testing::WriteFile(data.Append("obsolete.txt"), "old");
  ASSERT_EQ(symlink(outside.path().c_str(), data.Append("ext").c_str()), 0);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(data.path());
  VqApplication::clearEnv();
  VqApplication::setEnv(VqApplication::DIR_DATA, data.path());
  {
    VqApplication application(VqApplication::Identity(), nullptr);
    try {
      application.processTransactions(
          "<vq><transaction><delete filename='ext/victim.txt'/></transaction>"
          "<transaction><delete filename='obsolete.txt'/></transaction></vq>");
    } catch (...) {
      // Refusal may surface as an exception; the files tell the outcome.
    }
  }
  EXPECT_TRUE(vq_testing::PathExists(outside.Append("victim.txt")));
  EXPECT_FALSE(vq_testing::PathExists(data.Append("obsolete.txt")));
  std::filesystem::current_path(previous);
  VqApplication::clearEnv();
}

// Runs a submitted document until the server is being stopped: it returns
// once the port refuses connections, or after 3 s when the server keeps
// listening while it waits for this reply.
class DocumentDuringStop : public FakeCommandTarget {
 public:
  using FakeCommandTarget::FakeCommandTarget;
  void processTransactions(const std::string&) override {
    entered = true;
    WaitFor([this] { return stopping.load(); });
    WaitFor([this] { return !HeldConnection(port, "").connected(); },
            std::chrono::seconds(3));
  }
  std::atomic<bool> entered{false};
  std::atomic<bool> stopping{false};
  std::atomic<unsigned short> port{0};
};

using StopTest = cmdserver_testing::ServerTestOver<DocumentDuringStop>;

TEST_F(StopTest, AReplyInProgressIsFinishedBeforeTheServerStops) {
  target_.port = port_;
  const std::string process = Keyed("/~cmd/process");
  auto reply = std::async(std::launch::async,
                          [&] { return Send("POST", process, {}, "<vq><quit/></vq>"); });
  ASSERT_TRUE(WaitFor([&] { return target_.entered.load(); }));
  target_.stopping = true;
  server_.reset();
  EXPECT_EQ(BodyOf(reply.get()), "<vq><![CDATA[OK]]></vq>");
}

}  // namespace
}  // namespace security_testing
