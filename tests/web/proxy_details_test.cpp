#include "web/proxy_details.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "testing/log_capture.h"

namespace {

host::ProxySetting Setting(std::optional<long> enable, std::optional<std::string> host,
                           std::optional<long> port) {
  return host::ProxySetting{enable, host, port};
}

TEST(ProxyDetailsTest, EnabledOnlyWithAWholeSettingAndLogsWhatIsMissing) {
  vq_testing::LogCapture log("ProxyDetails");
  ProxyDetails details(ProxyDetails::HTTPS, Setting(1, "proxy.local", 3128));
  EXPECT_TRUE(details.enabled());
  EXPECT_STREQ("proxy.local", details.host());
  EXPECT_EQ(3128, details.port());
  EXPECT_FALSE(ProxyDetails(ProxyDetails::HTTP, Setting(0, "p", 1)).enabled());
  EXPECT_TRUE(log.Take().empty());
  const std::pair<host::ProxySetting, std::string> cases[] = {
      {Setting(std::nullopt, "p", 1), "Failed to retrieve enable key value."},
      {Setting(1, std::nullopt, 8080), "Host string null or invalid type."},
      {Setting(1, std::string(1024, 'h'), 1), "Host C-String conversion failed."},
      {Setting(1, "p", std::nullopt), "Port number null or invalid type."},
      // A port that does not fit 16 bits must not name another one.
      {Setting(1, "p", 70000), "Port number value retrieve failed."},
      {Setting(1, "p", 1), "We don't support auto-config proxies"},
  };
  for (const auto& [setting, logged] : cases) {
    const bool automatic = logged.find("auto") != std::string::npos;
    EXPECT_FALSE(ProxyDetails(automatic ? ProxyDetails::AUTO : ProxyDetails::SOCKS,
                              setting).enabled());
    const auto lines = log.Take();
    EXPECT_TRUE(!lines.empty() && lines.back().find(logged) != std::string::npos)
        << logged;
  }
}

}  // namespace
