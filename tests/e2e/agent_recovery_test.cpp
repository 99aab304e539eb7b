// An agent killed in the middle of a transaction completes or rolls it back
// at its next start.

#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/agent_fixture.h"
#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace e2e {
namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WaitFor;

constexpr int kFiles = 150;

// One transaction that replaces settings.xml and writes many new files, so
// that a kill can land while it runs.
std::string BigUpdate() {
  std::string document =
      "<vq version=\"2.0\" update=\"600\"><transaction>"
      "<write filename=\"settings.xml\"><![CDATA[<settings><new/></settings>]]>"
      "</write>";
  for (int i = 0; i < kFiles; ++i) {
    document += "<write filename=\"batch/f" + std::to_string(i) +
                ".txt\"><![CDATA[new]]></write>";
  }
  return document + "</transaction></vq>";
}

TEST_F(AgentTest, SigkillMidTransactionIsRecoveredAtRestart) {
  StartServer({BigUpdate()});
  int interrupted = 0;
  // Kill at growing delays after the journal appeared; each round starts
  // from a fresh data directory.
  for (int delayUs : {0, 500, 2000, 5000}) {
    SCOPED_TRACE(delayUs);
    std::filesystem::remove_all(home_ + "/Library");
    StartAgent();
    // A tight poll: the journal exists only while the transaction runs.
    const std::string journal = DataPath(".transaction.dat");
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!PathExists(journal) && std::chrono::steady_clock::now() < deadline &&
           agent_->running()) {
      usleep(100);
    }
    usleep(static_cast<useconds_t>(delayUs));
    agent_->signal(SIGKILL);
    ASSERT_TRUE(agent_->waitForExit(std::chrono::seconds(10)));
    const bool journalLeft = PathExists(DataPath(".transaction.dat"));
    interrupted += journalLeft;
    const std::string staleKey =
        PathExists(DataPath("vq.server.key")) ? ServerKey() : "";

    // Recovery runs before anything else at the next start; with no server
    // to reach, nothing runs after it.
    vq_testing::WriteFile(DataPath("vqconnect.xml"),
                          "<vqconnect version=\"1.0\"><server>"
                          "http://127.0.0.1:9/</server></vqconnect>");
    StartAgent();
    ASSERT_TRUE(WaitFor([&] {
      return PathExists(DataPath("vq.server.key")) &&
             !ServerKey().empty() && ServerKey() != staleKey;
    }));
    EXPECT_FALSE(PathExists(DataPath(".transaction.dat")));
    int present = 0;
    for (int i = 0; i < kFiles; ++i) {
      present += PathExists(DataPath("batch/f" + std::to_string(i) + ".txt"));
    }
    const bool replaced =
        ReadFile(DataPath("settings.xml")).find("<new/>") != std::string::npos;
    // All or nothing.
    EXPECT_TRUE((present == 0 && !replaced) || (present == kFiles && replaced))
        << present << " files, settings replaced: " << replaced;
    EXPECT_TRUE(QuitAgent());
  }
  // At least one kill must have landed inside the transaction for the test
  // to have proved anything.
  EXPECT_GT(interrupted, 0);
}

}  // namespace
}  // namespace e2e
