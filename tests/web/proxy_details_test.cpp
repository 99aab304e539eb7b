#include "web/proxy_details.h"

#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <log4cpp/StringQueueAppender.hh>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Captures what ProxyDetails logs: its categories are children of
// "ProxyDetails" and pass their lines up.
class ProxyDetailsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    appender_ = new log4cpp::StringQueueAppender("capture");
    log4cpp::Category::getInstance("ProxyDetails").addAppender(appender_);
  }
  void TearDown() override {
    log4cpp::Category::getInstance("ProxyDetails").removeAllAppenders();
  }

  std::vector<std::string> Logged() {
    std::vector<std::string> lines;
    for (auto& queue = appender_->getQueue(); !queue.empty(); queue.pop()) {
      lines.push_back(queue.front());
    }
    return lines;
  }

  bool LoggedLine(const std::string& text) {
    for (const std::string& line : Logged()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  log4cpp::StringQueueAppender* appender_ = nullptr;
};

host::ProxySetting Setting(std::optional<long> enable,
                           std::optional<std::string> host,
                           std::optional<long> port) {
  host::ProxySetting setting;
  setting.enable = enable;
  setting.host = host;
  setting.port = port;
  return setting;
}

TEST_F(ProxyDetailsTest, EnabledSettingGivesHostAndPort) {
  ProxyDetails details(ProxyDetails::HTTPS, Setting(1, "proxy.local", 3128));
  EXPECT_TRUE(details.enabled());
  EXPECT_STREQ("proxy.local", details.host());
  EXPECT_EQ(3128, details.port());
  EXPECT_STREQ("https", details.proxytype_cstr());
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ProxyDetailsTest, SwitchedOffIsSilentlyDisabled) {
  ProxyDetails details(ProxyDetails::HTTP, Setting(0, "proxy", 1));
  EXPECT_FALSE(details.enabled());
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ProxyDetailsTest, MissingPiecesAreLoggedAndDisable) {
  EXPECT_FALSE(ProxyDetails(ProxyDetails::HTTP,
                            Setting(std::nullopt, "p", 1)).enabled());
  EXPECT_TRUE(LoggedLine("Failed to retrieve enable key value."));

  EXPECT_FALSE(ProxyDetails(ProxyDetails::HTTP,
                            Setting(1, std::nullopt, 8080)).enabled());
  EXPECT_TRUE(LoggedLine("Host string null or invalid type."));

  EXPECT_FALSE(ProxyDetails(ProxyDetails::SOCKS,
                            Setting(1, std::string(1024, 'h'), 1)).enabled());
  EXPECT_TRUE(LoggedLine("Host C-String conversion failed."));

  EXPECT_FALSE(ProxyDetails(ProxyDetails::HTTP,
                            Setting(1, "p", std::nullopt)).enabled());
  EXPECT_TRUE(LoggedLine("Port number null or invalid type."));

  EXPECT_FALSE(ProxyDetails(ProxyDetails::HTTP, Setting(1, "p", 70000)).enabled());
  EXPECT_TRUE(LoggedLine("Port number value retrieve failed."));
}

TEST_F(ProxyDetailsTest, AutoAndUnknownTypesAreNeverEnabled) {
  ProxyDetails automatic(ProxyDetails::AUTO, "http://x/");
  EXPECT_FALSE(automatic.enabled());
  EXPECT_STREQ("auto", automatic.proxytype_cstr());
  EXPECT_TRUE(LoggedLine("We don't support auto-config proxies"));

  ProxyDetails unknown(static_cast<ProxyDetails::ProxyType>(7), "");
  EXPECT_FALSE(unknown.enabled());
  EXPECT_EQ(nullptr, unknown.proxytype_cstr());
  EXPECT_TRUE(LoggedLine("Unknown proxy type requested: 7"));
}

TEST_F(ProxyDetailsTest, ReadsTheEnvironment) {
  const char* saved = std::getenv("http_proxy");
  const std::string saved_value = saved ? saved : "";
  setenv("http_proxy", "http://cache.lan:8118/", 1);
  ProxyDetails details(ProxyDetails::HTTP, "http://updates/vq.php");
  if (saved) {
    setenv("http_proxy", saved_value.c_str(), 1);
  } else {
    unsetenv("http_proxy");
  }
  EXPECT_TRUE(details.enabled());
  EXPECT_STREQ("cache.lan", details.host());
  EXPECT_EQ(8118, details.port());
}

TEST_F(ProxyDetailsTest, CheckProxyAlwaysRaises) {
  for (const char* url : {"http://x/", "", static_cast<const char*>(nullptr)}) {
    try {
      ProxyDetails::checkProxy(url);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ("ProxyDetails::checkProxy is deprecated", e.what());
    }
  }
}

}  // namespace
