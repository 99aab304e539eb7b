#ifndef VQ_TESTS_SECURITY_SECURITY_FIXTURE_H_
#define VQ_TESTS_SECURITY_SECURITY_FIXTURE_H_

#include <log4cpp/Category.hh>

#include <string>
#include <utility>
#include <vector>

#include "app/logging_config.h"
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

// The command server over the fake application, with the process's log in
// "vq.log" of the data directory as the agent configures it.
class SecurityTest : public ServerTest {
 protected:
  void SetUp() override {
    configureRollingLog(LogPath());
    ServerTest::SetUp();
  }
  void TearDown() override {
    ServerTest::TearDown();
    shutdownLogging();
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::ERROR);
  }
  std::string LogPath() const { return dir_.Append("vq.log"); }
};

}  // namespace security_testing

#endif  // VQ_TESTS_SECURITY_SECURITY_FIXTURE_H_
