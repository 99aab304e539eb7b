#include "host/machine_identity.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

// A fake /sys/class/net and /proc/net/route in a temporary directory.
struct FakeSystem {
  void AddInterface(const std::string& name, int index,
                    const std::string& address, const std::string& flags,
                    const std::string& length = "6") {
    const std::string base = dir_.Append("net/" + name + "/");
    vq_testing::WriteFile(base + "ifindex", std::to_string(index) + "\n");
    vq_testing::WriteFile(base + "address", address + "\n");
    vq_testing::WriteFile(base + "flags", flags + "\n");
    vq_testing::WriteFile(base + "addr_len", length + "\n");
  }

  // Rows of "Iface Destination Gateway Flags RefCnt Use Metric Mask".
  void SetRoutes(const std::string& rows) {
    vq_testing::WriteFile(dir_.Append("route"), "Iface\tDestination\t...\n" + rows);
  }

  std::string Mac() const {
    return MachineIdentity({dir_.Append("net"), dir_.Append("route")}).macAddress();
  }

  vq_testing::ScopedTempDir dir_;
};

TEST(MachineIdentityTest, PrimaryIsTheUpDefaultRouteOfLowestMetricElseFirstByIndex) {
  EXPECT_EQ("", FakeSystem().Mac()) << "no tables at all";
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:01", "0x9");
  // A tunnel may carry the default route but has no hardware address.
  system.AddInterface("tun0", 2, "", "0x1091", "0");
  system.AddInterface("zero0", 4, "00:00:00:00:00:00", "0x1003");
  system.AddInterface("bad0", 5, "zz:00:00:00:00:01", "0x1003");
  system.AddInterface("eth0", 7, "02:00:00:00:00:07", "0x1003");
  system.AddInterface("aa0", 10, "02:00:00:00:00:AB", "0x1003");
  system.AddInterface("wlan0", 11, "02:00:00:00:00:11", "0x1003");
  // A route naming a directory outside the interfaces is ignored.
  system.AddInterface("..", 0, "02:00:00:00:00:66", "0x1003");
  system.SetRoutes("garbage line\n"
                   "eth0 0000A8C0 0101A8C0 0001 0 0 0 00FFFFFF\n"  // a network
                   ".. 00000000 0101A8C0 0003 0 0 0 00000000\n"
                   "wlan0 00000000 0101A8C0 0003 0 0 600 00000000\n"
                   "aa0 00000000 0101A8C0 0003 0 0 100 00000000\n"
                   "eth0 00000000 0101A8C0 0002 0 0 1 00000000\n");  // down
  EXPECT_EQ("02:00:00:00:00:ab", system.Mac());
  system.SetRoutes("tun0 00000000 0 0003 0 0 1 00000000\n");
  EXPECT_EQ("02:00:00:00:00:07", system.Mac());
}

TEST(MachineIdentityTest, OsDescriptionNeverCarriesMarkupFromSources) {
  OsFacts facts;
  facts.machine = "x86_64";
  facts.release = "6.1.0-13-amd64";
  facts.logicalMemory = 4096ull * 1048576 + 1048575;
  facts.physicalMemory = 2048ull * 1048576;
  EXPECT_EQ("<os type=\"linux.x86_64\" sys=\"6.1.0\" RAM=\"4096/2048\"/>",
            MachineIdentity::osDescription(facts));
  facts = OsFacts();
  facts.machine = "x86\"/><evil";
  facts.release = "rc-99999999999999999999.x";
  EXPECT_EQ("<os type=\"linux.unknown\" sys=\"0.0.0\" RAM=\"0/0\"/>",
            MachineIdentity::osDescription(facts));
  // The running system's, formed once and kept for the process's life.
  const char* os = getOS();
  EXPECT_EQ(os, getOS());
  EXPECT_EQ(MachineIdentity::osDescription(MachineIdentity::currentOsFacts()), os);
}

}  // namespace
}  // namespace host
