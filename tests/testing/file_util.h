#ifndef VQ_TESTING_FILE_UTIL_H_
#define VQ_TESTING_FILE_UTIL_H_

#include <string>

namespace vq_testing {

// Writes `contents` to `path`, creating or truncating it, and creating its
// missing parent directories. Throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::string& contents);

// The whole file. Throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::string& path);

// The whole file, or "" when it cannot be read (missing as yet, say).
std::string ReadIfThere(const std::string& path);

// True when something (a file, directory or link, even a dangling one)
// exists at `path`.
bool PathExists(const std::string& path);

// The permission bits (mode & 0777) of `path`, following links. Throws
// std::runtime_error when it cannot be examined.
int FileMode(const std::string& path);

// Sets the permission bits of `path`. Throws std::runtime_error on failure.
void SetFileMode(const std::string& path, int mode);

// Creates `path` and its missing parents. Throws std::runtime_error.
void MakeDirs(const std::string& path);

}  // namespace vq_testing

#endif  // VQ_TESTING_FILE_UTIL_H_
