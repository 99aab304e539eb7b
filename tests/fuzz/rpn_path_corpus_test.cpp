#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "rpn_path_check.h"

namespace {

namespace fs = std::filesystem;

// Replays every file of `dir` through the fuzz entry's check; returns how
// many there were. A missing directory holds none.
int ReplayAll(const fs::path& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(
           dir, fs::directory_options::skip_permission_denied)) {
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
  if (fs::is_directory(VQ_RPN_PATH_FINDINGS_DIR)) {
    ReplayAll(VQ_RPN_PATH_FINDINGS_DIR);
  }
}

}  // namespace
