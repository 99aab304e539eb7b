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
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"
#include "vqsign/rsa_signer.h"

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

std::string SignBase64(const std::string& body) {
  std::string error;
  auto signer = vqtools::RsaSigner::fromPemFile(VQ_DEMO_PRIVATE_KEY, &error);
  EXPECT_TRUE(signer) << error;
  return signer ? signer->signBase64(body) : "";
}

std::size_t FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size)
                                        : 0;
}

// The "errCode" of the first error report the server received, or -1.
int ReportedCode(const TestHttpServer& server) {
  for (const auto& request : server.requests()) {
    if (request.path != "/vqerror.php") continue;
    const std::size_t at = request.body.find("errCode=");
    if (at != std::string::npos) {
      return std::atoi(request.body.c_str() + at + 8);
    }
  }
  return -1;
}

bool Received(const TestHttpServer& server, const std::string& path) {
  for (const auto& request : server.requests()) {
    if (request.path == path) return true;
  }
  return false;
}

// The end of the agent's log, for failure messages.
std::string LogTail(const AgentProcess& agent) {
  const std::string log = agent.Log();
  return log.size() > 4096 ? log.substr(log.size() - 4096) : log;
}

struct AnswerCase {
  const char* name;
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
    for (std::size_t n = 0; n < c.bytes; n += c.repeat.size()) {
      answer.body += c.repeat;
    }
    answer.body += kTail;
    answer.headers.push_back({"XXX-VQ-Sig", SignBase64(answer.body)});
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
  const bool reported = WaitFor(
      [&] { return ReportedCode(server) != -1 || !agent.Running(); },
      seconds(20));
  const long liveRss = agent.PeakRssKiB();
  agent.Signal(SIGTERM);
  const bool exited = agent.WaitForExit(seconds(10));
  const long peak = exited ? agent.PeakRssKiB() : liveRss;
  std::cout << c.name << ": peak RSS " << peak / 1024 << " MiB\n";

  EXPECT_TRUE(reported) << LogTail(agent);
  EXPECT_EQ(c.code, ReportedCode(server)) << LogTail(agent);
  EXPECT_TRUE(exited);
  EXPECT_LT(peak, kMaxPeakRssKiB);
  EXPECT_LE(FileSize(agent.DataPath("vq.log")), kMaxLogFileBytes);
  EXPECT_LE(FileSize(agent.DataPath("vq.log.1")), kMaxLogFileBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerBoundsTest,
    ::testing::Values(
        // Far beyond the answer cap: the transfer stops at the cap.
        AnswerCase{"unsigned 500 MB", "<a/>", 500 * 1000 * 1000, false, false,
                   155},
        AnswerCase{"bogus signature, 64 MiB", "<a/>", 64 * kMiB, false, true,
                   155},
        AnswerCase{"unsigned 32 MB of elements", "<a/>", 32 * 1000 * 1000, false,
                   false, 155},
        // Within the cap but beyond what an unverified answer may cost.
        AnswerCase{"unsigned 12 MiB of elements", "<a/>", 12 * kMiB, false,
                   false, 105},
        // Verified, but with more nodes than any accepted document may have.
        AnswerCase{"signed 8 MiB of elements", "<a/>", 8 * kMiB, true, false,
                   105}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      }
      return name;
    });

// A server that holds the agent: the answer dribbles in (one byte every
// 0.4 s, never finishing) or never starts.
class HeldAgentTest : public ::testing::Test {
 protected:
  void StartHeld(bool drip) {
    CannedResponse answer;
    answer.body = kHead;
    if (drip) {
      answer.repeat = " ";
      answer.repeat_count = 1000000;
      answer.drip = milliseconds(400);
    } else {
      answer.stall = seconds(60);
    }
    server_.Always("POST", "/vq.php", answer);
    agent_.Start();
    ASSERT_TRUE(WaitFor([&] { return Received(server_, "/vq.php"); },
                        seconds(20)));
    ASSERT_FALSE(agent_.CommandServer().empty());
  }
  // Waits for the exit and checks the command server's files went with it;
  // prints and returns the time taken since `since`.
  double ExpectCleanExitWithin(std::chrono::steady_clock::time_point since,
                               seconds deadline, const char* what) {
    EXPECT_TRUE(agent_.WaitForExit(deadline)) << LogTail(agent_);
    const double taken =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
            .count();
    std::cout << what << " to exit: " << taken << " s\n";
    EXPECT_EQ(0, agent_.ExitStatus());
    EXPECT_FALSE(PathExists(agent_.DataPath("vq.server")));
    EXPECT_FALSE(PathExists(agent_.DataPath("vq.server.key")));
    return taken;
  }

  TestHttpServer server_;
  AgentProcess agent_{server_.url("")};
};

TEST_F(HeldAgentTest, CommandsAnswerAtOnceAndQuitEndsTheAgent) {
  StartHeld(true);
  struct Command {
    const char* target;
    const char* reply;
  };
  for (const Command& command :
       {Command{"/~cmd/wake", "<result wake=\"ok\" />"},
        Command{"/~cmd/version", "200 OK"},
        Command{"/~cmd/wake", "<result wake=\"ok\" />"}}) {
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = agent_.Get(command.target, seconds(3));
    EXPECT_NE(std::string::npos, reply.find(command.reply))
        << command.target << " answered: " << reply;
    EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(2))
        << command.target << " took too long";
  }
  const auto quit = std::chrono::steady_clock::now();
  EXPECT_NE(std::string::npos,
            agent_.Get("/~cmd/quit", seconds(3)).find("quit=\"ok\""));
  ExpectCleanExitWithin(quit, seconds(5), "quit while the server drips");
}

TEST_F(HeldAgentTest, SigtermEndsTheAgentWhileTheServerDrips) {
  StartHeld(true);
  const auto start = std::chrono::steady_clock::now();
  agent_.Signal(SIGTERM);
  ExpectCleanExitWithin(start, seconds(5), "SIGTERM while the server drips");
}

TEST_F(HeldAgentTest, SigintEndsTheAgentWhileTheServerStalls) {
  StartHeld(false);
  const auto start = std::chrono::steady_clock::now();
  agent_.Signal(SIGINT);
  ExpectCleanExitWithin(start, seconds(5), "SIGINT while the server stalls");
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
  const bool requested =
      WaitFor([&] { return Received(server, "/vq.php"); }, seconds(20));
  const long liveRss = agent.PeakRssKiB();
  agent.Signal(SIGTERM);
  const bool exited = agent.WaitForExit(seconds(10));
  const long peak = exited ? agent.PeakRssKiB() : liveRss;
  std::cout << "feed including /dev/zero: peak RSS " << peak / 1024
            << " MiB\n";
  EXPECT_TRUE(requested) << LogTail(agent);
  EXPECT_TRUE(exited);
  EXPECT_LT(peak, kMaxPeakRssKiB);
  for (const auto& request : server.requests()) {
    if (request.path == "/vq.php") {
      EXPECT_LT(request.body.size(), 64 * 1024u);
    }
  }
}

}  // namespace
