#include "main/small_file.h"

#include <sys/stat.h>

#include "support/bounded_file.h"

namespace vq_main {

std::optional<std::string> readSmallRegularFile(const std::string& path,
                                                std::size_t limit) {
  std::string content;
  if (vq_support::readRegularFile(path, limit, &content, nullptr,
                                  vq_support::SymbolicLinks::kRefuse) !=
      vq_support::FileReadStatus::kRead) {
    return std::nullopt;
  }
  return content;
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace vq_main
