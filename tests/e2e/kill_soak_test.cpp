// The real agent, killed with SIGKILL at random moments while it applies
// real signed updates from vqserve, and restarted each time: after every
// restart the files of the update must all be of one version (the one before
// the update or the update's own), with no journal, backup or stray
// temporary left. The first kills come at set delays after the journal
// appeared, so that even a short run interrupts transactions; later ones at
// random. The number of kills comes from VQ_KILL_SOAK_ROUNDS (default: a
// few, for the ordinary test run; scripts/kill-soak runs 200).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "e2e/agent_sandbox.h"

namespace {

namespace fs = std::filesystem;
using vq_testing::PathExists;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

constexpr int kDefaultRounds = 8;
constexpr int kSetDelaysUs[] = {0, 500, 2000, 5000};
constexpr int kSetRounds = sizeof(kSetDelaysUs) / sizeof(kSetDelaysUs[0]);
constexpr int kFiles = 40;

// The round whose update wrote `text` (0: the state before any update).
long RoundOf(const std::string& text) {
  const std::size_t at = text.find("round ");
  return at == std::string::npos ? 0 : std::atol(text.c_str() + at + 6);
}

// One transaction replacing settings.xml and writing kFiles files, every one
// naming `round`; padded so that the transaction takes a while.
std::string Update(int round) {
  const std::string tag = "round " + std::to_string(round), padding(2048, 'x');
  std::string document =
      "<vq version=\"2.0\" update=\"600\"><transaction><write filename="
      "\"settings.xml\"><![CDATA[<settings note=\"" + tag + "\"/>]]></write>";
  for (int i = 0; i < kFiles; ++i)
    document += "<write filename=\"soak/f" + std::to_string(i) + ".txt\"><![CDATA[" +
                tag + "\n" + padding + "]]></write>";
  return document + "</transaction></vq>";
}

class KillSoakTest : public ::testing::Test, public vq_e2e::AgentSandbox {
 protected:
  KillSoakTest() {
    WriteFile(document_, "<vq version=\"2.0\" update=\"600\"/>");
    ConnectTo(StartServer("vqserve", {"--fixed", document_}));
  }

  // After a restart that finished recovery: the round all files name, or
  // -1 (with failures) when they disagree or something is left behind.
  long CheckFiles(bool journalWasThere, const std::string& context) {
    long round = RoundOf(ReadIfThere(DataPath("settings.xml")));
    for (int i = 0; i < kFiles; ++i) {
      const std::string file = DataPath("soak/f" + std::to_string(i) + ".txt");
      const long found = RoundOf(ReadIfThere(file));
      EXPECT_EQ(round, found) << context << ": " << file << " of another round";
      if (found != round) round = -1;
    }
    for (const auto& entry : fs::recursive_directory_iterator(DataPath())) {
      const std::string name = entry.path().filename().string();
      const bool leftover =
          name.find(".bak.tr") != std::string::npos ||
          name.rfind(".transaction.dat", 0) == 0 ||
          // Prepared files stay only when the kill came before the journal.
          (journalWasThere && name.size() > 4 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0);
      EXPECT_FALSE(leftover) << context << ": left behind " << entry.path();
      if (leftover) round = -1;
    }
    return round;
  }

  const std::string document_ = temp.Append("vq.xml");
};

TEST_F(KillSoakTest, KilledAtRandomMomentsEveryRestartFindsOneWholeVersion) {
  const char* setting = std::getenv("VQ_KILL_SOAK_ROUNDS");
  const int rounds = setting != nullptr && std::atoi(setting) > 0
                         ? std::atoi(setting)
                         : kDefaultRounds;
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  const std::string journal = DataPath(".transaction.dat");
  long committed = 0;
  int interrupted = 0, applied = 0, violations = 0;
  for (int round = 1; round <= rounds; ++round) {
    const std::string context =
        "seed " + std::to_string(seed) + ", round " + std::to_string(round);
    WriteFile(document_, Update(round));
    {
      auto agent = Agent();
      if (round <= kSetRounds || random() % 2 == 0) {
        // Into the transaction: a tight poll for its journal, then a short
        // wait.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!PathExists(journal) && agent->Running() &&
               std::chrono::steady_clock::now() < deadline) {
          usleep(100);
        }
        usleep(static_cast<useconds_t>(round <= kSetRounds ? kSetDelaysUs[round - 1]
                                                            : random() % 20000));
      } else {
        // Anywhere from start-up to well after the update.
        usleep(static_cast<useconds_t>(random() % 1500000));
      }
      agent->Signal(SIGKILL);
      ASSERT_NE(-1, agent->Wait()) << context;
    }
    const bool journalWasThere = PathExists(journal);
    interrupted += journalWasThere;
    const std::string staleKey = ReadIfThere(DataPath("vq.server.key"));

    // Restarted with nothing new to do: recovery runs before the command
    // server starts, so a fresh key means it has finished.
    WriteFile(document_, "<vq version=\"2.0\" update=\"600\"/>");
    auto agent = Agent();
    ASSERT_TRUE(WaitFor(
        [&] {
          const std::string key = ReadIfThere(DataPath("vq.server.key"));
          return !key.empty() && key != staleKey;
        },
        std::chrono::seconds(30)))
        << context;
    const long found = CheckFiles(journalWasThere, context);
    EXPECT_TRUE(found == committed || found == round)
        << context << ": round " << found << " after round " << committed;
    if (found == round) ++applied;
    if (found != committed && found != round) ++violations;
    if (found >= 0) committed = found;
    agent->Signal(SIGTERM);
    ASSERT_EQ(0, agent->Wait()) << context;
  }
  std::printf("[ figures  ] kill soak: %d kills (seed %u), %d inside a "
              "transaction, %d updates applied, %d invariant violations\n",
              rounds, seed, interrupted, applied, violations);
  EXPECT_GT(interrupted, 0) << "no kill landed inside a transaction";
}

}  // namespace
