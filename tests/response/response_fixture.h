// Shared by the response processor's tests: each runs in a fresh data directory, also the working
// directory, with fresh variables and an application that records launches, quits and reports.
#ifndef VQ_TESTS_RESPONSE_RESPONSE_FIXTURE_H_
#define VQ_TESTS_RESPONSE_RESPONSE_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lifecycle/application_external_implementation.h"
#include "lifecycle/vq_application.h"
#include "response/exception_report_interface.h"
#include "support/apr_pool.h"
#include "support/vq_exception.h"
#include "testing/scoped_temp_dir.h"
#include "vqsign/rsa_signer.h"
#include "web/web.h"

using Strings = std::vector<std::string>;

class FakeApplication : public ApplicationExternalImplementation, public ExceptionReportInterface {
 public:
  FakeApplication() : ApplicationExternalImplementation(nullptr) {}
  int launchProcess(std::string& exe, std::vector<std::string>& args) override {
    launches.push_back(args);  // command, then arguments
    launches.back().insert(launches.back().begin(), exe);
    return 0;
  }
  void setQuit() override { quit = true; }
  void report(VqException& e) override { reports.push_back(e); }
  std::vector<int> codes() const {
    std::vector<int> out;
    for (const VqException& e : reports) out.push_back(e.getErrorCode());
    return out;
  }
  std::vector<Strings> launches;
  bool quit = false;
  std::vector<VqException> reports;
};

// An answer that has "arrived", with the headers a server sent.
class CannedWeb : public Web {
 public:
  CannedWeb(apr_pool_t* pool, const std::string& body,
            const std::vector<std::pair<std::string, std::string>>& headers = {})
      : Web(pool) {
    mutableBody().append(body.data(), body.size());
    for (const auto& [name, value] : headers) setHeader(name, value);
  }
  bool get() override { return true; }
};

// The signer for the key the tests' servers use.
inline const vqtools::RsaSigner& TestSigner() {
  static const auto signer = [] {
    std::string error;
    auto loaded = vqtools::RsaSigner::fromPemFile(VQ_TEST_PRIVATE_KEY, &error);
    if (!loaded) throw std::runtime_error(error);
    return loaded;
  }();
  return *signer;
}

class DataDirTest : public ::testing::Test {
 protected:
  DataDirTest() {
    std::filesystem::current_path(dir_.path());
    VqApplication::clearEnv();
    VqApplication::setEnv(VqApplication::DIR_DATA, dir_.path().c_str());
  }
  ~DataDirTest() override {
    VqApplication::clearEnv();
    std::filesystem::current_path(oldCwd_);
  }
  std::string DataPath(const std::string& name) const { return dir_.Append(name); }

  const std::filesystem::path oldCwd_ = std::filesystem::current_path();
  vq_testing::ScopedTempDir dir_;
  apr::Pool pool_;
  FakeApplication app_;
};

#endif  // VQ_TESTS_RESPONSE_RESPONSE_FIXTURE_H_
