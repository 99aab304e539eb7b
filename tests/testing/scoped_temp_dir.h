#ifndef VQ_TESTING_SCOPED_TEMP_DIR_H_
#define VQ_TESTING_SCOPED_TEMP_DIR_H_

#include <string>

namespace vq_testing {

// Creates a fresh, empty directory under $TMPDIR (or /tmp) and removes it
// with all its contents when destroyed. Symbolic links inside are removed
// themselves, never followed. Throws std::runtime_error when the directory
// cannot be created.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();

  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The directory's absolute path, without a trailing slash.
  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string Append(const std::string& relative) const;

 private:
  std::string path_;
};

}  // namespace vq_testing

#endif  // VQ_TESTING_SCOPED_TEMP_DIR_H_
