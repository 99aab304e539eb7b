#ifndef VQ_MAIN_SMALL_FILE_H_
#define VQ_MAIN_SMALL_FILE_H_

#include <cstddef>
#include <optional>
#include <string>

namespace vq_main {

// The whole content of a small regular file, or nothing when `path` is
// missing, unreadable, a symbolic link, not a regular file (a FIFO would
// block the reader), or longer than `limit` bytes.
std::optional<std::string> readSmallRegularFile(const std::string& path,
                                                std::size_t limit);

// True when something (of any type) exists at `path`; links are not followed.
bool pathExists(const std::string& path);

}  // namespace vq_main

#endif  // VQ_MAIN_SMALL_FILE_H_
