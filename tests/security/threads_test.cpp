// The whole application under concurrency: the command server answers many
// clients at once while update passes and submitted documents run, a
// document that quits still gets its reply, and wakes and quits arriving
// while the application is destroyed touch nothing that is gone. Meant to
// run under ThreadSanitizer as well.

#include <atomic>
#include <filesystem>
#include <future>
#include <iostream>
#include <thread>

#include "lifecycle/vq_application.h"
#include "security/security_fixture.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/wait_for.h"

namespace security_testing {
namespace {

using vq_testing::WaitFor;

std::atomic<int> terminations{0};
void CountTermination() { ++terminations; }
const char* TestOs() { return "Linux test"; }
const char* TestMachine() { return "00:11:22:33:44:55"; }

VqHostCallback hostTable = {&CountTermination, nullptr, &TestOs,
                            &TestMachine, nullptr, nullptr};

class ApplicationThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::current_path(data_.path());
    vq_testing::WriteFile(data_.Append("public.txt"), "PUBLIC");
    updates_.Always("POST", "/vq.php",
                    {200, {}, "<vq version='2.0' update='600'><transaction>"
                              "<set name='pass' value='${update.count}'/>"
                              "<write filename='written.txt'>pass</write></transaction></vq>"});
    // A failing pass reports to the same server; the report needs no answer.
    updates_.Always("POST", "/vqerror.php", {200, {}, "<vq version='2.0'/>"});
    terminations = 0;
    VqApplication::clearEnv();
    VqApplication::Identity identity;
    identity.name = "SecurityTest";
    identity.defaultServers = {updates_.url("/")};
    application_ = std::make_unique<VqApplication>(identity, &hostTable);
    VqApplication::setEnv(VqApplication::DIR_DATA, data_.path());
    VqApplication::setEnv(VqApplication::SECURE_SIGN, "false");
    // An update pass every tenth of a second instead of the answer's 600 s.
    VqApplication::setEnv(VqApplication::DEBUG_REFRESH, "1");
    application_->configureLogging("app", data_.Append("vq.log"));
    application_->start(nullptr);
    port_ = static_cast<unsigned short>(
        std::stoi(VqApplication::getEnv(VqApplication::MONGOOSE_PORT)));
    key_ = vq_testing::ReadFile(data_.Append("vq.server.key"));
  }
  std::string Send(const std::string& method, const std::string& target,
                   const std::string& body = "") {
    return LoopbackExchange(port_, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  void TearDown() override {
    application_.reset();
    if (HasFailure()) {
      const std::string log = vq_testing::ReadFile(data_.Append("vq.log"));
      std::cerr << log.substr(log.size() > 6000 ? log.size() - 6000 : 0);
    }
    VqApplication::shutdownLogging();
    VqApplication::clearEnv();
    std::filesystem::current_path(previous_);
  }

  vq_testing::ScopedTempDir data_;
  vq_testing::TestHttpServer updates_;
  std::unique_ptr<VqApplication> application_;
  const std::filesystem::path previous_ = std::filesystem::current_path();
  unsigned short port_ = 0;
  std::string key_;
};

TEST_F(ApplicationThreadsTest, ConcurrentRequestsDuringPassesAndDocuments) {
  constexpr int kClients = 4, kRounds = 12;
  std::vector<std::future<int>> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.push_back(std::async(std::launch::async, [this, client] {
      int failures = 0;
      for (int round = 0; round < kRounds; ++round) {
        const std::string n = std::to_string(client) + "_" + std::to_string(round);
        const std::string answers[] = {
            Send("GET", "/~cmd/info"),
            Send("GET", "/~cmd/info/pass"),
            Send("GET", "/~cmd/info/unknown." + n),
            Send("GET", "/~cmd/wake"),
            Send("GET", "/~cmd/path/?path=sub/" + n),
            Send("GET", "/public.txt"),
            Send("GET", "/~cmd/set/v" + n + "/x?key=" + key_),
            Send("POST", "/~cmd/process?key=" + key_,
                 "<vq><transaction><set name='doc" + n + "' value='y'/></transaction></vq>"),
        };
        for (const std::string& answer : answers) failures += StatusOf(answer) != 200;
      }
      return failures;
    }));
  }
  for (auto& client : clients) EXPECT_EQ(client.get(), 0);
  EXPECT_TRUE(WaitFor([] {
    return VqApplication::getEnvl(VqApplication::UPDATE_COUNT, 0) >= 2;
  }));
  EXPECT_EQ(VqApplication::getEnv("doc0_0"), "y");
  EXPECT_EQ(VqApplication::getEnv(
                ("doc" + std::to_string(kClients - 1) + "_" + std::to_string(kRounds - 1)).c_str()),
            "y");
}

// Update passes keep running (debug.refresh) while the document quits.
TEST_F(ApplicationThreadsTest, QuitThroughADocumentRepliesAndShutdownIsSafe) {
  ASSERT_TRUE(WaitFor([] {
    return !VqApplication::getEnv(VqApplication::UPDATE_LAST).empty();
  }));
  auto reply = std::async(std::launch::async, [this] {
    return Send("POST", "/~cmd/process?key=" + key_,
                "<vq><transaction><quit/></transaction></vq>");
  });
  // The update thread asks the host to terminate; the host then destroys
  // the application at once, as the agent's main loop does, while other
  // local programs keep waking and quitting it.
  ASSERT_TRUE(WaitFor([] { return terminations.load() > 0; }));
  std::atomic<bool> stop{false};
  std::vector<std::future<void>> wakers;
  for (int i = 0; i < 3; ++i) {
    wakers.push_back(std::async(std::launch::async, [this, i, &stop] {
      for (int round = 0; round < 200 && !stop; ++round) {
        Send("GET", i % 2 == 0 ? "/~cmd/wake" : "/~cmd/quit");
      }
    }));
  }
  application_.reset();
  stop = true;
  for (auto& waker : wakers) waker.get();
  const std::string answer = reply.get();
  EXPECT_EQ(StatusOf(answer), 200) << answer;
  EXPECT_EQ(BodyOf(answer), "<vq><![CDATA[OK]]></vq>");
}

}  // namespace
}  // namespace security_testing
