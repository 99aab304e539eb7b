#include "fuzz/fuzz_scratch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace vq_fuzz {
namespace {

namespace fs = std::filesystem;

// Owner permissions back on every directory below and at `dir`, so that
// remove_all can empty them; symbolic links are not followed.
void RestoreOwnerAccess(const fs::path& dir) {
  std::error_code ignored;
  if (!fs::is_directory(fs::symlink_status(dir, ignored))) return;
  ::chmod(dir.c_str(), S_IRWXU);
  for (const auto& entry : fs::directory_iterator(dir, ignored)) {
    RestoreOwnerAccess(entry.path());
  }
}

void RemoveTree(const fs::path& dir) {
  RestoreOwnerAccess(dir);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

// The per-process parent of the scratch directories, removed at exit.
class ProcessScratch {
 public:
  ProcessScratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") +
                          "/vq_fuzz_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
      throw std::runtime_error("cannot create a scratch directory");
    }
    path_ = name.data();
  }
  ~ProcessScratch() { RemoveTree(path_); }

  const std::string& path() const { return path_; }
  std::string next() { return path_ + "/" + std::to_string(++counter_); }

 private:
  std::string path_;
  std::atomic<unsigned long> counter_{0};
};

ProcessScratch& processScratch() {
  static ProcessScratch scratch;
  return scratch;
}

}  // namespace

std::string Bytes(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

ScratchDir::ScratchDir()
    : previous_(fs::current_path()), path_(processScratch().next()) {
  fs::create_directory(path_);
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  RemoveTree(path_);
}

}  // namespace vq_fuzz
