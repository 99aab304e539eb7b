#ifndef VQ_FUZZ_FUZZ_SCRATCH_H_
#define VQ_FUZZ_FUZZ_SCRATCH_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vq_fuzz {

// The input's bytes as a string (which may hold NULs).
std::string Bytes(const uint8_t* data, size_t size);

// A fresh, empty directory for one input, made the working directory while
// it lives (the agent reads and writes its files relative to the data
// directory). Destruction restores the previous working directory and
// removes the directory with everything an input left in it, giving
// directories back their owner permissions first so that an input that
// took them away cannot make the removal fail. The directories live under
// one per-process directory below $TMPDIR (or /tmp).
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();

  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory's absolute path, without a trailing slash.
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::string path_;
};

}  // namespace vq_fuzz

#endif  // VQ_FUZZ_FUZZ_SCRATCH_H_
