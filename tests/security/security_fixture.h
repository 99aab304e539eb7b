#ifndef VQ_TESTS_SECURITY_SECURITY_FIXTURE_H_
#define VQ_TESTS_SECURITY_SECURITY_FIXTURE_H_

#include <log4cpp/Category.hh>
#include <log4cpp/FileAppender.hh>
#include <log4cpp/PatternLayout.hh>

#include <string>
#include <utility>
#include <vector>

#include "cmdserver/server_fixture.h"

namespace security_testing {

using cmdserver_testing::BodyOf;
using cmdserver_testing::Calls;
using cmdserver_testing::LoopbackExchange;
using cmdserver_testing::Headers;
using cmdserver_testing::ServerTest;

struct Request {
  const char* method;
  std::string target, body;
};

// The status code of a raw answer, 0 when there is none.
inline int StatusOf(const std::string& answer) {
  const bool http =
      answer.compare(0, 9, "HTTP/1.1 ") == 0 || answer.compare(0, 9, "HTTP/1.0 ") == 0;
  return http ? std::atoi(answer.c_str() + 9) : 0;
}

// The command server over the fake application, with every log line of the
// process written to "vq.log" in the data directory as the agent writes it
// ("PRIORITY category: message" per line), debug level included.
class SecurityTest : public ServerTest {
 protected:
  void SetUp() override {
    auto* appender = new log4cpp::FileAppender("security", LogPath());
    auto* layout = new log4cpp::PatternLayout();
    layout->setConversionPattern("%p %c: %m%n");
    appender->setLayout(layout);
    log4cpp::Category::getRoot().addAppender(appender);
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::DEBUG);
    ServerTest::SetUp();
  }
  void TearDown() override {
    ServerTest::TearDown();
    log4cpp::Category::getRoot().removeAllAppenders();
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::ERROR);
  }
  std::string LogPath() const { return dir_.Append("vq.log"); }
};

}  // namespace security_testing

#endif  // VQ_TESTS_SECURITY_SECURITY_FIXTURE_H_
