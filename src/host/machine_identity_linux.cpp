#include "host/machine_identity.h"

#include <dirent.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

namespace host {
namespace {

constexpr unsigned long kLoopbackFlag = 0x8;  // IFF_LOOPBACK
constexpr unsigned long kRouteUpFlag = 0x1;   // RTF_UP
constexpr std::uint64_t kBytesPerMiB = 1048576;

std::string firstLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// Interface names come from the kernel, but they form paths: refuse any
// that could leave the directory.
bool safeInterfaceName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos;
}

bool parseHex(const std::string& text, unsigned long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 16);
  return end != nullptr && *end == '\0';
}

// Parses "aa:bb:cc:dd:ee:ff" (either case) into six bytes.
bool parseAddress(const std::string& text, unsigned char bytes[6]) {
  if (text.size() != 17) return false;
  for (int i = 0; i < 6; ++i) {
    const char high = text[i * 3];
    const char low = text[i * 3 + 1];
    if (!std::isxdigit(static_cast<unsigned char>(high)) ||
        !std::isxdigit(static_cast<unsigned char>(low)) ||
        (i < 5 && text[i * 3 + 2] != ':')) {
      return false;
    }
    bytes[i] = static_cast<unsigned char>(
        std::stoul(text.substr(i * 3, 2), nullptr, 16));
  }
  return true;
}

int versionPart(const std::string& release, std::size_t* position) {
  std::size_t digits = *position;
  while (digits < release.size() &&
         std::isdigit(static_cast<unsigned char>(release[digits]))) {
    ++digits;
  }
  if (digits == *position || digits - *position > 9) return 0;
  const int value = std::stoi(release.substr(*position, digits - *position));
  *position = digits;
  if (*position < release.size() && release[*position] == '.') ++*position;
  return value;
}

bool plainWord(const std::string& text) {
  return !text.empty() && text.size() < 64 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) {
           return std::isalnum(c) || c == '_' || c == '-' || c == '.';
         });
}

}  // namespace

MachineIdentity::MachineIdentity() : MachineIdentity(Sources()) {}

MachineIdentity::MachineIdentity(Sources sources)
    : sources_(std::move(sources)) {}

std::string MachineIdentity::defaultRouteInterface() const {
  std::ifstream in(sources_.routeFile);
  std::string line;
  std::getline(in, line);  // column titles
  std::string best;
  unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refCount, use, metric,
        mask;
    if (!(fields >> name >> destination >> gateway >> flags >> refCount >>
          use >> metric >> mask)) {
      continue;
    }
    unsigned long flagBits = 0;
    unsigned long destinationBits = 1;
    unsigned long maskBits = 1;
    if (!parseHex(flags, &flagBits) ||
        !parseHex(destination, &destinationBits) ||
        !parseHex(mask, &maskBits)) {
      continue;
    }
    if ((flagBits & kRouteUpFlag) == 0 || destinationBits != 0 ||
        maskBits != 0 || !safeInterfaceName(name)) {
      continue;
    }
    char* end = nullptr;
    const unsigned long metricValue = std::strtoul(metric.c_str(), &end, 10);
    if (best.empty() || metricValue < bestMetric) {
      best = name;
      bestMetric = metricValue;
    }
  }
  return best;
}

// The interface's address in canonical form, or empty when it has no
// six-byte non-zero address or is a loopback.
std::string MachineIdentity::addressOf(const std::string& interface) const {
  if (!safeInterfaceName(interface)) return std::string();
  const std::string dir = sources_.netClassDir + "/" + interface;
  unsigned long flags = 0;
  // "0x1003": strtoul takes the prefix.
  if (parseHex(firstLine(dir + "/flags"), &flags) &&
      (flags & kLoopbackFlag) != 0) {
    return std::string();
  }
  const std::string length = firstLine(dir + "/addr_len");
  if (!length.empty() && length != "6") return std::string();
  unsigned char bytes[6];
  if (!parseAddress(firstLine(dir + "/address"), bytes)) return std::string();
  if (std::all_of(bytes, bytes + 6, [](unsigned char b) { return b == 0; })) {
    return std::string();
  }
  char text[18];
  std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]);
  return text;
}

std::string MachineIdentity::macAddress() const {
  const std::string primary = defaultRouteInterface();
  if (!primary.empty()) {
    const std::string address = addressOf(primary);
    if (!address.empty()) return address;
  }
  std::vector<std::pair<long, std::string>> interfaces;
  if (DIR* dir = opendir(sources_.netClassDir.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (!safeInterfaceName(name)) continue;
      const std::string index =
          firstLine(sources_.netClassDir + "/" + name + "/ifindex");
      char* end = nullptr;
      long value = std::strtol(index.c_str(), &end, 10);
      if (index.empty() || *end != '\0') value = std::numeric_limits<long>::max();
      interfaces.emplace_back(value, name);
    }
    closedir(dir);
  }
  std::sort(interfaces.begin(), interfaces.end());
  for (const auto& interface : interfaces) {
    const std::string address = addressOf(interface.second);
    if (!address.empty()) return address;
  }
  return std::string();
}

std::string MachineIdentity::osDescription(const OsFacts& facts) {
  std::size_t position = 0;
  const int major = versionPart(facts.release, &position);
  const int minor = position > 0 ? versionPart(facts.release, &position) : 0;
  const int third = position > 0 ? versionPart(facts.release, &position) : 0;
  char text[256];
  std::snprintf(text, sizeof(text),
                "<os type=\"linux.%s\" sys=\"%d.%d.%d\" RAM=\"%ld/%ld\"/>",
                plainWord(facts.machine) ? facts.machine.c_str() : "unknown",
                major, minor, third,
                static_cast<long>(facts.logicalMemory / kBytesPerMiB),
                static_cast<long>(facts.physicalMemory / kBytesPerMiB));
  return text;
}

OsFacts MachineIdentity::currentOsFacts() {
  OsFacts facts;
  struct utsname name;
  if (uname(&name) == 0) {
    facts.machine = name.machine;
    facts.release = name.release;
  }
  struct sysinfo info;
  if (sysinfo(&info) == 0) {
    facts.physicalMemory =
        static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
    // Memory the system can use: installed memory plus swap.
    facts.logicalMemory =
        facts.physicalMemory +
        static_cast<std::uint64_t>(info.totalswap) * info.mem_unit;
  }
  return facts;
}

namespace {

struct IdentityCache {
  std::mutex mutex;
  std::string macAddress;  // empty until read
  std::string os;          // empty until formed
};

IdentityCache& cache() {
  static IdentityCache* instance = new IdentityCache();  // never destroyed:
  // the texts handed out must outlive every static destructor.
  return *instance;
}

}  // namespace

const char* getMacAddress() {
  IdentityCache& identity = cache();
  std::lock_guard<std::mutex> lock(identity.mutex);
  if (identity.macAddress.empty()) {
    identity.macAddress = MachineIdentity().macAddress();
  }
  return identity.macAddress.empty() ? nullptr : identity.macAddress.c_str();
}

const char* getOS() {
  IdentityCache& identity = cache();
  std::lock_guard<std::mutex> lock(identity.mutex);
  if (identity.os.empty()) {
    identity.os = MachineIdentity::osDescription(MachineIdentity::currentOsFacts());
  }
  return identity.os.c_str();
}

}  // namespace host
