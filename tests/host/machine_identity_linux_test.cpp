#include "host/machine_identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

constexpr char kRouteHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\t"
    "Window\tIRTT\n";

// A fake /sys/class/net and /proc/net/route in a temporary directory.
class FakeSystem {
 public:
  FakeSystem() { vq_testing::MakeDirs(dir_.Append("net")); }

  void AddInterface(const std::string& name, int index,
                    const std::string& address, const std::string& flags,
                    const std::string& length = "6") {
    const std::string base = dir_.Append("net/" + name);
    vq_testing::WriteFile(base + "/ifindex", std::to_string(index) + "\n");
    vq_testing::WriteFile(base + "/address", address + "\n");
    vq_testing::WriteFile(base + "/flags", flags + "\n");
    vq_testing::WriteFile(base + "/addr_len", length + "\n");
  }

  void SetRoutes(const std::string& rows) {
    vq_testing::WriteFile(dir_.Append("route"), kRouteHeader + rows);
  }

  MachineIdentity Identity() const {
    MachineIdentity::Sources sources;
    sources.netClassDir = dir_.Append("net");
    sources.routeFile = dir_.Append("route");
    return MachineIdentity(sources);
  }

 private:
  vq_testing::ScopedTempDir dir_;
};

std::string Route(const std::string& name, const std::string& destination,
                  const std::string& flags, int metric,
                  const std::string& mask) {
  return name + "\t" + destination + "\t0101A8C0\t" + flags + "\t0\t0\t" +
         std::to_string(metric) + "\t" + mask + "\t0\t0\t0\n";
}

TEST(MachineIdentityTest, DefaultRouteWithLowestMetricNamesThePrimary) {
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:00", "0x9");
  system.AddInterface("eth0", 2, "00:1B:63:AA:BB:01", "0x1003");
  system.AddInterface("wlan0", 3, "00:1b:63:aa:bb:02", "0x1003");
  system.AddInterface("eth1", 4, "00:1b:63:aa:bb:03", "0x1003");
  system.SetRoutes(Route("eth0", "0000A8C0", "0001", 0, "00FFFFFF") +
                   Route("wlan0", "00000000", "0003", 600, "00000000") +
                   Route("eth1", "00000000", "0003", 100, "00000000") +
                   // Down: not a route to use.
                   Route("eth0", "00000000", "0002", 1, "00000000"));
  EXPECT_EQ("00:1b:63:aa:bb:03", system.Identity().macAddress());
}

TEST(MachineIdentityTest, FallsBackToFirstNonLoopbackByIndex) {
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:00", "0x9");
  // A tunnel carries the default route but has no hardware address.
  system.AddInterface("tun0", 2, "", "0x1091", "0");
  system.AddInterface("zz9", 3, "00:00:00:00:00:00", "0x1003");
  system.AddInterface("wlan0", 5, "02:00:00:00:00:05", "0x1003");
  system.AddInterface("eth0", 4, "02:00:00:00:00:04", "0x1003");
  system.SetRoutes(Route("tun0", "00000000", "0001", 0, "00000000"));
  EXPECT_EQ("02:00:00:00:00:04", system.Identity().macAddress());
}

TEST(MachineIdentityTest, LoopbackAndMalformedAddressesNeverCount) {
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:01", "0x9");
  system.AddInterface("ib0", 2, "80:00:02:08:fe:80:00:00:00:00", "0x1003",
                      "20");
  system.AddInterface("bad0", 3, "zz:00:00:00:00:01", "0x1003");
  system.AddInterface("bad1", 4, "00-00-00-00-00-01", "0x1003");
  system.SetRoutes(Route("lo", "00000000", "0001", 0, "00000000"));
  EXPECT_EQ("", system.Identity().macAddress());
}

TEST(MachineIdentityTest, MissingOrHostileTablesGiveNoAddress) {
  MachineIdentity::Sources sources;
  sources.netClassDir = "/nonexistent/net";
  sources.routeFile = "/nonexistent/route";
  EXPECT_EQ("", MachineIdentity(sources).macAddress());

  FakeSystem system;
  system.AddInterface("eth0", 2, "02:00:00:00:00:04", "0x1003");
  // An interface name that would leave the directory is ignored.
  system.SetRoutes(Route("..", "00000000", "0001", 0, "00000000") +
                   "garbage line\n");
  EXPECT_EQ("02:00:00:00:00:04", system.Identity().macAddress());
}

TEST(MachineIdentityTest, OsDescriptionFormNeverCarriesMarkupFromSources) {
  OsFacts facts;
  facts.machine = "x86_64";
  facts.release = "6.1.0-13-amd64";
  facts.logicalMemory = 4096ull * 1048576 + 1048575;
  facts.physicalMemory = 2048ull * 1048576;
  EXPECT_EQ("<os type=\"linux.x86_64\" sys=\"6.1.0\" RAM=\"4096/2048\"/>",
            MachineIdentity::osDescription(facts));
  facts.release = "5.15";
  facts.machine = "aarch64";
  EXPECT_EQ("<os type=\"linux.aarch64\" sys=\"5.15.0\" RAM=\"4096/2048\"/>",
            MachineIdentity::osDescription(facts));
  facts = OsFacts();
  facts.machine = "x86\"/><evil";
  facts.release = "rc-99999999999999999999.x";
  EXPECT_EQ("<os type=\"linux.unknown\" sys=\"0.0.0\" RAM=\"0/0\"/>",
            MachineIdentity::osDescription(facts));
}

TEST(MachineIdentityTest, CachedAccessorsOnTheRunningSystem) {
  const char* os = getOS();
  EXPECT_EQ(os, getOS());
  EXPECT_TRUE(std::regex_match(
      std::string(os),
      std::regex("<os type=\"linux\\.[A-Za-z0-9_.-]+\" sys=\"\\d+\\.\\d+\\.\\d+\" "
                 "RAM=\"\\d+/\\d+\"/>")))
      << os;
  EXPECT_GT(MachineIdentity::currentOsFacts().physicalMemory, 0u);
  // A container may have no hardware address at all; when there is one it
  // has the canonical form and the pointer is kept.
  const char* mac = getMacAddress();
  if (mac != nullptr) {
    EXPECT_TRUE(std::regex_match(
        std::string(mac), std::regex("([0-9a-f]{2}:){5}[0-9a-f]{2}")))
        << mac;
    EXPECT_EQ(mac, getMacAddress());
    EXPECT_EQ(std::string(mac), MachineIdentity().macAddress());
  }
}

}  // namespace
}  // namespace host
