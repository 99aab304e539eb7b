#include "testing/file_util.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vq_testing {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

void MakeDirs(const std::string& path) {
  for (auto pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
    const std::string prefix = path.substr(0, pos);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
      Fail("mkdir", prefix);
    if (pos == std::string::npos) return;
  }
}

void WriteFile(const std::string& path, const std::string& contents) {
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) Fail("open", path);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  if (!out) Fail("write", path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("open", path);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::string ReadIfThere(const std::string& path) {
  try {
    return ReadFile(path);
  } catch (const std::runtime_error&) {
    return "";
  }
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

int FileMode(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) Fail("stat", path);
  return static_cast<int>(st.st_mode & 0777);
}

void SetFileMode(const std::string& path, int mode) {
  if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0)
    Fail("chmod", path);
}

}  // namespace vq_testing
