#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "rpn_path_check.h"

namespace {

// Replays every file of `dir`, if it exists, through the fuzz target's
// check; returns how many there were.
int ReplayAll(const std::filesystem::path& dir) {
  int count = 0;
  if (!std::filesystem::is_directory(dir)) return count;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::string failure;
    EXPECT_TRUE(CheckRpnPathInput(
        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &failure))
        << entry.path() << ": " << failure;
    ++count;
  }
  return count;
}

// The seed corpus, and the inputs that once crashed or diverged.
TEST(RpnPathCorpus, SeedsAndSavedFindingsReplayClean) {
  EXPECT_GT(ReplayAll(VQ_RPN_PATH_CORPUS_DIR), 0);
  ReplayAll(VQ_RPN_PATH_FINDINGS_DIR);
}

}  // namespace
