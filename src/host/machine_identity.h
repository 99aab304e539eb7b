#ifndef VQ_HOST_MACHINE_IDENTITY_H_
#define VQ_HOST_MACHINE_IDENTITY_H_

#include <cstdint>
#include <string>

namespace host {

// What the OS description is made of.
struct OsFacts {
  // The processor family word, e.g. "x86_64" or "aarch64".
  std::string machine;
  // The kernel release, e.g. "6.1.0-13-amd64".
  std::string release;
  // Memory usable by the system and installed memory, in bytes.
  std::uint64_t logicalMemory = 0;
  std::uint64_t physicalMemory = 0;
};

// Tells which machine and system the update requests come from. The
// filesystem locations are parameters so tests can lay out a fake system.
class MachineIdentity {
 public:
  struct Sources {
    // One directory per network interface holding "address", "addr_len",
    // "flags" and "ifindex".
    std::string netClassDir = "/sys/class/net";
    // The kernel's IPv4 routing table in text form.
    std::string routeFile = "/proc/net/route";
  };

  MachineIdentity();
  explicit MachineIdentity(Sources sources);

  // The hardware address of the primary interface as
  // "%02x:%02x:%02x:%02x:%02x:%02x", or empty when there is none. The
  // primary interface is the one of the default route with the lowest
  // metric; when there is no default route, or its interface has no
  // six-byte non-zero address (a tunnel, say), it is the first interface by
  // index that is not a loopback and has such an address. Reads the system
  // on every call.
  std::string macAddress() const;

  // <os type="linux.FAMILY" sys="A.B.C" RAM="LOGICAL/PHYSICAL"/> with the
  // memory in MiB. A family that is not a plain word reads "unknown"; missing
  // version numbers read 0.
  static std::string osDescription(const OsFacts& facts);

  // The running system's facts (uname, sysinfo).
  static OsFacts currentOsFacts();

 private:
  std::string defaultRouteInterface() const;
  std::string addressOf(const std::string& interface) const;

  Sources sources_;
};

// The running machine's identity, computed on the first call and kept for
// the process's life; safe to call from several threads. getMacAddress
// returns null, and tries again on the next call, while no address can be
// read. The returned texts stay valid until the process ends.
const char* getMacAddress();
const char* getOS();

}  // namespace host

#endif  // VQ_HOST_MACHINE_IDENTITY_H_
