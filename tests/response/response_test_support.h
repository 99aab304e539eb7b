#ifndef VQ_TESTS_RESPONSE_RESPONSE_TEST_SUPPORT_H_
#define VQ_TESTS_RESPONSE_RESPONSE_TEST_SUPPORT_H_

#include <apr_pools.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/thread_external_interface.h"
#include "app/transactional_external_interface.h"
#include "response/exception_report_interface.h"
#include "support/vq_exception.h"
#include "testing/scoped_temp_dir.h"
#include "web/web.h"

class TiXmlElement;
class TiXmlDocument;

namespace vq_response_test {

// The application side as the processor and the operations see it; records
// launches and quit requests.
class FakeExternal : public ThreadExternalInterface,
                     public TransactionalExternalInterface {
 public:
  struct Launch {
    std::string command;
    std::vector<std::string> arguments;
  };

  TransactionalExternalInterface* getTransactionalExternalInterface() override {
    return this;
  }
  void flushLog() override {}
  bool shouldQuit() override { return quit; }
  const char* getBuild() override { return "1"; }
  std::vector<std::string>& getDefaultServers() override { return servers; }
  void getAllServers(std::vector<std::string>& out) override { out = servers; }
  long getFeedId() override { return 1; }
  long getAppId() override { return 1; }
  const char* getMachineId() override { return "machine"; }
  const char* getPlatform() override { return "linux"; }
  const char* getOS() override { return "test"; }
  void threadInit(VqThread*) override {}
  void threadQuit(VqThread*) override {}
  void terminate() override {}

  int launchProcess(std::string& exe, std::vector<std::string>& args) override {
    launches.push_back({exe, args});
    return 0;
  }
  void setQuit() override { quit = true; }
  void setUpgrade() override {}

  std::vector<Launch> launches;
  std::vector<std::string> servers;
  bool quit = false;
};

// Keeps a copy of every reported exception.
class RecordingReporter : public ExceptionReportInterface {
 public:
  void report(VqException& e) override { reports.push_back(e); }
  std::vector<VqException> reports;
};

// A response that has "arrived": body and headers set by the test.
class CannedWeb : public Web {
 public:
  CannedWeb(apr_pool_t* pool, const std::string& body);
  bool get() override { return true; }
};

// A data directory of its own for each test: a fresh temporary directory
// that is the working directory (where the transaction journal and
// downloads go) and the "dir.data" variable, an APR pool, a fake
// application and a reporter.
class ResponseTest : public ::testing::Test {
 protected:
  ResponseTest();
  ~ResponseTest() override;

  // `relative` inside the data directory.
  std::string DataPath(const std::string& relative) const;
  // Runs the transactions of `documentXml` (a whole "<vq>" document)
  // through a new processor's processTransactions, reporting to reporter_.
  void RunTransactions(const std::string& documentXml);
  // Runs the handler that `actionXml` names in a fresh engine, without
  // executing it, as the processor does while it assembles a transaction;
  // returns the number of operations appended. The engine is cleaned up.
  size_t Assemble(const std::string& actionXml);
  // Parses `xml` into the test's own document and returns its root.
  TiXmlElement* Parse(const std::string& xml);
  // Every entry below the data directory (files and directories), as
  // sorted relative paths.
  std::vector<std::string> DataEntries() const;

  vq_testing::ScopedTempDir dir_;
  std::string oldCwd_;
  apr_pool_t* pool_ = nullptr;
  FakeExternal external_;
  RecordingReporter reporter_;
  std::unique_ptr<TiXmlDocument> document_;
};

// The MD5 digest of `data` as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& data);

// Expects `statement` to throw a VqException carrying `expected_code`.
#define EXPECT_VQ_CODE(statement, expected_code)                          \
  do {                                                                    \
    try {                                                                 \
      statement;                                                          \
      ADD_FAILURE() << "no VqException from " #statement;                 \
    } catch (const VqException& e) {                                      \
      EXPECT_EQ(static_cast<int>(expected_code),                          \
                static_cast<int>(e.getErrorCode()))                       \
          << e.what();                                                    \
    }                                                                     \
  } while (0)

}  // namespace vq_response_test

#endif  // VQ_TESTS_RESPONSE_RESPONSE_TEST_SUPPORT_H_
