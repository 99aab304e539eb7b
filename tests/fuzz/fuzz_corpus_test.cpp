// Replays each fuzz target's committed seed corpus and saved findings, so
// that every build runs the inputs the fuzzers started from and those that
// once failed. A corpus must hold files; a findings directory is optional,
// but one that exists must not be empty (a replay that silently finds
// nothing would hide a lost regression case).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_targets.h"

namespace {

namespace fs = std::filesystem;
using Target = bool (*)(const uint8_t*, size_t, std::string*);

// Runs every file of `dir` through `target`; returns how many there were.
int ReplayAll(const fs::path& dir, Target target) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::string failure;
    EXPECT_TRUE(target(reinterpret_cast<const uint8_t*>(bytes.data()),
                       bytes.size(), &failure))
        << entry.path() << ": " << failure;
    ++count;
  }
  return count;
}

void Replay(const std::string& name, Target target) {
  const fs::path root = VQ_FUZZ_INPUT_DIR;
  const fs::path corpus = root / "corpus" / name;
  ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
  EXPECT_GT(ReplayAll(corpus, target), 0) << corpus << " is empty";
  const fs::path findings = root / "findings" / name;
  if (fs::exists(findings)) {
    EXPECT_GT(ReplayAll(findings, target), 0) << findings << " is empty";
  }
}

TEST(FuzzCorpus, ActionDocument) {
  Replay("action_document", vq_fuzz::FuzzActionDocument);
}
TEST(FuzzCorpus, Journal) { Replay("journal", vq_fuzz::FuzzJournal); }
TEST(FuzzCorpus, CommandServer) {
  Replay("command_server", vq_fuzz::FuzzCommandServer);
}
TEST(FuzzCorpus, QueryString) {
  Replay("query_string", vq_fuzz::FuzzQueryString);
}
TEST(FuzzCorpus, Template) { Replay("template", vq_fuzz::FuzzTemplate); }
TEST(FuzzCorpus, Permissions) {
  Replay("permissions", vq_fuzz::FuzzPermissions);
}
TEST(FuzzCorpus, ConnectSettings) {
  Replay("connect_settings", vq_fuzz::FuzzConnectSettings);
}
TEST(FuzzCorpus, FeedSettings) {
  Replay("feed_settings", vq_fuzz::FuzzFeedSettings);
}
TEST(FuzzCorpus, ResponseHeaders) {
  Replay("response_headers", vq_fuzz::FuzzResponseHeaders);
}
TEST(FuzzCorpus, XmlBounds) { Replay("xml_bounds", vq_fuzz::FuzzXmlBounds); }

}  // namespace
