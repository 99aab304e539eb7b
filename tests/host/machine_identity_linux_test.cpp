#include "host/machine_identity.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace host {
namespace {

// A fake /sys/class/net and /proc/net/route in a temporary directory.
class FakeSystem {
 public:
  void AddInterface(const std::string& name, int index,
                    const std::string& address, const std::string& flags,
                    const std::string& length = "6") {
    const std::string base = dir_.Append("net/" + name + "/");
    vq_testing::WriteFile(base + "ifindex", std::to_string(index) + "\n");
    vq_testing::WriteFile(base + "address", address + "\n");
    vq_testing::WriteFile(base + "flags", flags + "\n");
    vq_testing::WriteFile(base + "addr_len", length + "\n");
  }

  // Rows of (interface, flags, metric); a metric below 0 makes the row a
  // route to one network instead of the default route.
  void SetRoutes(const std::vector<std::tuple<std::string, std::string, int>>& rows,
                 const std::string& garbage = "") {
    std::string text = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric"
                       "\tMask\tMTU\tWindow\tIRTT\n";
    for (const auto& [name, flags, metric] : rows) {
      const char* network = metric < 0 ? "0000A8C0" : "00000000";
      text += name + "\t" + network + "\t0101A8C0\t" + flags + "\t0\t0\t" +
              std::to_string(metric < 0 ? 0 : metric) + "\t" +
              (metric < 0 ? "00FFFFFF" : "00000000") + "\t0\t0\t0\n";
    }
    vq_testing::WriteFile(dir_.Append("route"), text + garbage);
  }

  std::string Mac() const {
    MachineIdentity::Sources sources;
    sources.netClassDir = dir_.Append("net");
    sources.routeFile = dir_.Append("route");
    return MachineIdentity(sources).macAddress();
  }

  vq_testing::ScopedTempDir dir_;
};

TEST(MachineIdentityTest, DefaultRouteWithLowestMetricNamesThePrimary) {
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:00", "0x9");
  system.AddInterface("eth0", 2, "00:1B:63:AA:BB:01", "0x1003");
  system.AddInterface("wlan0", 3, "00:1b:63:aa:bb:02", "0x1003");
  system.AddInterface("eth1", 4, "00:1b:63:aa:bb:03", "0x1003");
  system.SetRoutes({{"eth0", "0001", -1}, {"wlan0", "0003", 600}, {"eth1", "0003", 100},
                    {"eth0", "0002", 1}});  // the last is down
  EXPECT_EQ("00:1b:63:aa:bb:03", system.Mac());
}

TEST(MachineIdentityTest, FallsBackToFirstNonLoopbackByIndex) {
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:00", "0x9");
  // A tunnel carries the default route but has no hardware address.
  system.AddInterface("tun0", 2, "", "0x1091", "0");
  system.AddInterface("zz9", 3, "00:00:00:00:00:00", "0x1003");
  system.AddInterface("wlan0", 5, "02:00:00:00:00:05", "0x1003");
  system.AddInterface("eth0", 4, "02:00:00:00:00:04", "0x1003");
  // A route naming a directory outside the interfaces is ignored.
  system.AddInterface("..", 6, "02:00:00:00:00:66", "0x1003");
  system.SetRoutes({{"tun0", "0001", 0}, {"..", "0003", 0}});
  EXPECT_EQ("02:00:00:00:00:04", system.Mac());
}

TEST(MachineIdentityTest, LoopbackMalformedOrHostileEntriesNeverCount) {
  EXPECT_EQ("", FakeSystem().Mac()) << "no tables at all";
  FakeSystem system;
  system.AddInterface("lo", 1, "00:00:00:00:00:01", "0x9");
  system.AddInterface("ib0", 2, "80:00:02:08:fe:80:00:00:00:00", "0x1003",
                      "20");
  system.AddInterface("bad0", 3, "zz:00:00:00:00:01", "0x1003");
  system.AddInterface("bad1", 4, "00-00-00-00-00-01", "0x1003");
  system.SetRoutes({{"lo", "0001", 0}}, "garbage line\n");
  EXPECT_EQ("", system.Mac());
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
  // The running system's, formed once.
  const char* os = getOS();
  EXPECT_EQ(os, getOS());
  EXPECT_TRUE(std::regex_match(os, std::regex("<os type=\"linux\\.[A-Za-z0-9_.-]+\" "
                                              "sys=\"\\d+\\.\\d+\\.\\d+\" "
                                              "RAM=\"\\d+/\\d+\"/>")))
      << os;
  // A container may have no hardware address at all.
  if (const char* mac = getMacAddress()) {
    EXPECT_TRUE(std::regex_match(mac, std::regex("([0-9a-f]{2}:){5}[0-9a-f]{2}")));
    EXPECT_EQ(mac, getMacAddress());
  }
}

}  // namespace
}  // namespace host
