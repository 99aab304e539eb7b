#include "host/login_item.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace host {
namespace {

constexpr char kBundleSuffix[] = ".app";
constexpr std::size_t kBundleSuffixLength = sizeof(kBundleSuffix) - 1;

std::string trimTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return path.substr(slash == std::string::npos ? 0 : slash + 1);
}

bool isBundleName(const std::string& base) {
  return base.size() > kBundleSuffixLength &&
         base.compare(base.size() - kBundleSuffixLength, kBundleSuffixLength,
                      kBundleSuffix) == 0;
}

// The bundle's name without ".app": names both the entry and the executable.
std::string itemName(const std::string& bundlePath) {
  std::string base = baseName(trimTrailingSlashes(bundlePath));
  if (isBundleName(base)) base.resize(base.size() - kBundleSuffixLength);
  return base;
}

std::string executableFor(const std::string& bundlePath) {
  const std::string bundle = trimTrailingSlashes(bundlePath);
  if (!isBundleName(baseName(bundle))) return bundle;
  return bundle + "/Contents/MacOS/" + itemName(bundle);
}

bool acceptable(const std::string& bundlePath) {
  if (bundlePath.empty() || bundlePath[0] != '/') return false;
  for (const unsigned char c : bundlePath) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  const std::string name = itemName(bundlePath);
  return !name.empty() && name != "." && name != ".." && name != "/";
}

// One argument of an Exec key: double-quoted with the characters that are
// special inside the quotes backslash-escaped, "%" doubled because it
// introduces field codes, and every backslash doubled once more because the
// value is itself an escaped string.
std::string execArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    switch (c) {
      case '"':
      case '`':
      case '$':
        quoted += "\\\\";
        quoted += c;
        break;
      case '\\':
        quoted += "\\\\\\\\";
        break;
      case '%':
        quoted += "%%";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

// A plain string value: backslash escapes only.
std::string stringValue(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') {
      escaped += "\\\\";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

bool makeDirectories(const std::string& directory) {
  if (directory.empty()) return false;
  struct stat info;
  if (stat(directory.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::size_t slash = directory.rfind('/');
  if (slash != std::string::npos && slash > 0 &&
      !makeDirectories(directory.substr(0, slash))) {
    return false;
  }
  return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

LoginItem::LoginItem(std::string autostartDir, std::string executable)
    : autostartDir_(trimTrailingSlashes(std::move(autostartDir))),
      executable_(std::move(executable)) {}

std::string LoginItem::runningExecutable() {
  char real[PATH_MAX];
  return realpath("/proc/self/exe", real) != nullptr ? real : "";
}

std::string LoginItem::defaultAutostartDir() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') {
    return trimTrailingSlashes(configHome) + "/autostart";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::string();
  return trimTrailingSlashes(home) + "/.config/autostart";
}

std::string LoginItem::entryPathFor(const std::string& bundlePath) const {
  return autostartDir_ + "/" + itemName(bundlePath) + ".desktop";
}

std::string LoginItem::entryText(const std::string& bundlePath,
                                 const std::string& executable) {
  const std::string name = itemName(bundlePath);
  const std::string started =
      executable.empty() ? executableFor(bundlePath) : executable;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" + stringValue(name) + "\n"
         "Exec=" + execArgument(started) + "\n"
         "Terminal=false\n"
         "Hidden=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool LoginItem::registerStartItem(const std::string& bundlePath) const {
  if (!acceptable(bundlePath) ||
      (!executable_.empty() && !acceptable(executable_)) ||
      !makeDirectories(autostartDir_)) {
    return false;
  }
  const std::string target = entryPathFor(bundlePath);
  std::string temporary = target + ".XXXXXX";
  const int fd = mkstemp(&temporary[0]);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0644) == 0 &&
            writeAll(fd, entryText(bundlePath, executable_)) &&
            fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace host
