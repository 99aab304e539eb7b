// The real agent against a misbehaving update server on 127.0.0.1: huge and
// many-element answers, signed and unsigned, must not exhaust its memory or
// its log, and a server that drips or stalls must not hold it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

#include "bounds/agent_process.h"
#include "response/response_fixture.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using vq_bounds_test::AgentProcess;
using vq_testing::CannedResponse;
using vq_testing::PathExists;
using vq_testing::TestHttpServer;
using vq_testing::WaitFor;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's shadow memory and its quarantine of freed blocks inflate
// resident memory; an unbounded answer still exceeds this many times over.
constexpr long kMaxPeakRssKiB = 192 * 1024;
#else
constexpr long kMaxPeakRssKiB = 64 * 1024;
#endif
// The rolling log's size per file, plus one line's worth of slack.
constexpr std::size_t kMaxLogFileBytes = 2 * 1024 * 1024 + 64 * 1024;
constexpr std::size_t kMiB = 1024 * 1024;
const char kHead[] = "<vq version=\"2.0\" update=\"600\">";
const char kTail[] = "</vq>";

// The "errCode" of the first error report the server received, or -1.
int ReportedCode(const TestHttpServer& server) {
  for (const auto& request : server.requests()) {
    if (request.path != "/vqerror.php") continue;
    const std::size_t at = request.body.find("errCode=");
    if (at != std::string::npos) return std::atoi(request.body.c_str() + at + 8);
  }
  return -1;
}

bool Received(const TestHttpServer& server, const std::string& path) {
  for (const auto& request : server.requests()) {
    if (request.path == path) return true;
  }
  return false;
}

// Ends the agent with SIGTERM, which it must obey within 10 s, its peak
// resident memory (printed with `what`) within the bound.
void StopAndCheckMemory(AgentProcess& agent, const std::string& what) {
  const long liveRss = agent.PeakRssKiB();
  agent.Signal(SIGTERM);
  const bool exited = agent.Wait(seconds(10)) != -1;
  const long peak = exited ? agent.PeakRssKiB() : liveRss;
  std::cout << what << ": peak RSS " << peak / 1024 << " MiB\n";
  EXPECT_TRUE(exited) << what;
  EXPECT_LT(peak, kMaxPeakRssKiB) << what;
}

struct AnswerCase {
  const char* name;    // also the test's name
  std::string repeat;  // repeated between kHead and kTail
  std::size_t bytes;   // of repeated text
  bool sign;           // a valid signature (the whole answer is built)
  bool bogusSignature;
  int code;            // the error the agent reports
};

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

class AnswerBoundsTest : public ::testing::TestWithParam<AnswerCase> {};

// Each answer is refused, while it arrives or before its tree is built; the
// agent stays small, its log stays within its rotation size, and it still
// quits promptly.
TEST_P(AnswerBoundsTest, RefusedWithinMemoryAndLogBounds) {
  const AnswerCase& c = GetParam();
  TestHttpServer server;
  CannedResponse answer;
  answer.body = kHead;
  if (c.sign) {
    for (std::size_t n = 0; n < c.bytes; n += c.repeat.size()) answer.body += c.repeat;
    answer.body += kTail;
    answer.headers.push_back({"XXX-VQ-Sig", TestSigner().signBase64(answer.body)});
  } else {
    answer.repeat = c.repeat;
    answer.repeat_count = c.bytes / c.repeat.size();
    answer.tail = kTail;
    if (c.bogusSignature) answer.headers.push_back({"XXX-VQ-Sig", "AAAA"});
  }
  server.Always("POST", "/vq.php", answer);
  server.Always("POST", "/vqerror.php", CannedResponse());

  AgentProcess agent(server.url(""));
  agent.Start();
  const bool reported =
      WaitFor([&] { return ReportedCode(server) != -1 || !agent.Running(); }, seconds(20));
  StopAndCheckMemory(agent, c.name);
  EXPECT_TRUE(reported) << agent.LogTail();
  EXPECT_EQ(c.code, ReportedCode(server)) << agent.LogTail();
  for (const char* log : {"vq.log", "vq.log.1"}) {
    EXPECT_LE(vq_testing::ReadIfThere(agent.DataPath(log)).size(), kMaxLogFileBytes) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerBoundsTest,
    ::testing::Values(
        // Far beyond the answer cap: the transfer stops at the cap.
        AnswerCase{"unsigned500MB", "<a/>", 500 * 1000 * 1000, false, false, 155},
        AnswerCase{"bogussignature64MiB", "<a/>", 64 * kMiB, false, true, 155},
        AnswerCase{"unsigned32MBofelements", "<a/>", 32 * 1000 * 1000, false, false, 155},
        // Within the cap but beyond what an unverified answer may cost.
        AnswerCase{"unsigned12MiBofelements", "<a/>", 12 * kMiB, false, false, 105},
        // Verified, but with more nodes than any accepted document may have.
        AnswerCase{"signed8MiBofelements", "<a/>", 8 * kMiB, true, false, 105}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

// A server that holds the agent: the answer dribbles in (one byte every
// 0.4 s, never finishing) or never starts. Commands are still answered at
// once, and a quit command or a signal ends the agent within 5 s, taking the
// command server's files with it.
TEST(HeldAgentTest, CommandsAnswerAtOnceAndQuitOrSignalsEndTheAgent) {
  const struct {
    const char* what;
    bool drip;
    int signal;  // 0: the quit command
  } cases[] = {{"quit while the server drips", true, 0},
               {"SIGTERM while the server drips", true, SIGTERM},
               {"SIGINT while the server stalls", false, SIGINT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestHttpServer server;
    AgentProcess agent{server.url("")};
    CannedResponse answer;
    answer.body = kHead;
    if (c.drip) {
      answer.repeat = " ";
      answer.repeat_count = 1000000;
      answer.drip = milliseconds(400);
    } else {
      answer.stall = seconds(60);
    }
    server.Always("POST", "/vq.php", answer);
    agent.Start();
    ASSERT_TRUE(WaitFor([&] { return Received(server, "/vq.php"); }, seconds(20)));
    ASSERT_FALSE(agent.CommandServer().empty());
    if (c.signal == 0) {
      for (const auto& [target, reply] :
           {std::pair<const char*, const char*>{"/~cmd/wake", "<result wake=\"ok\" />"},
            {"/~cmd/version", "200 OK"}, {"/~cmd/wake", "<result wake=\"ok\" />"}}) {
        const auto start = std::chrono::steady_clock::now();
        const std::string got = agent.Get(target, seconds(3));
        EXPECT_NE(std::string::npos, got.find(reply)) << target << " answered: " << got;
        EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(2)) << target << " is slow";
      }
    }
    const auto since = std::chrono::steady_clock::now();
    if (c.signal == 0) {
      EXPECT_NE(std::string::npos, agent.Get("/~cmd/quit", seconds(3)).find("quit=\"ok\""));
    } else {
      agent.Signal(c.signal);
    }
    EXPECT_EQ(0, agent.Wait(seconds(5))) << agent.LogTail();
    std::cout << c.what << " to exit: "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count()
              << " s\n";
    EXPECT_FALSE(PathExists(agent.DataPath("vq.server")));
    EXPECT_FALSE(PathExists(agent.DataPath("vq.server.key")));
  }
}

// A feed that includes an endless device and a FIFO nobody writes: the
// request still goes out, at once and small, and the agent stays small.
TEST(FeedIncludeBoundsTest, DevicesAndFifosAreNotRead) {
  vq_testing::ScopedTempDir dir;
  const std::string fifo = dir.Append("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  TestHttpServer server;
  server.Always("POST", "/vq.php", CannedResponse{});
  server.Always("POST", "/vqerror.php", CannedResponse{});
  AgentProcess agent(
      server.url(""),
      "<vqfeed version=\"2.0\"><state>"
      "<include file=\"/dev/zero\"/>"
      "<include file=\"" + fifo + "\" inline=\"true\"/>"
      "</state></vqfeed>");
  agent.Start();
  const bool requested = WaitFor([&] { return Received(server, "/vq.php"); }, seconds(20));
  StopAndCheckMemory(agent, "feed including /dev/zero");
  EXPECT_TRUE(requested) << agent.LogTail();
  for (const auto& request : server.requests()) {
    EXPECT_TRUE(request.path != "/vq.php" || request.body.size() < 64 * 1024u)
        << request.body.size();
  }
}

}  // namespace
