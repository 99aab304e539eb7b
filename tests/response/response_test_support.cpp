#include "response_test_support.h"

#include <apr_general.h>
#include <openssl/evp.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "app/vq_application.h"
#include "response/vq_response_processor.h"
#include "transact/transaction_engine.h"

namespace vq_response_test {
namespace {

// APR is initialised once for the test process.
const bool kAprReady = [] {
  apr_initialize();
  std::atexit(apr_terminate);
  return true;
}();

}  // namespace

std::string Md5Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
  std::string hex;
  char byte[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof(byte), "%02x", digest[i]);
    hex += byte;
  }
  return hex;
}

CannedWeb::CannedWeb(apr_pool_t* pool, const std::string& body) : Web(pool) {
  mutableBody().append(body.data(), body.size());
}

ResponseTest::ResponseTest() {
  EXPECT_TRUE(kAprReady);
  char cwd[4096];
  if (::getcwd(cwd, sizeof(cwd))) oldCwd_ = cwd;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  if (::chdir(dir_.path().c_str()) != 0) {
    throw std::runtime_error("cannot enter " + dir_.path());
  }
  apr_pool_create(&pool_, nullptr);
  VqApplication::clearEnv();
  VqApplication::setEnv(VqApplication::DIR_DATA, dir_.path().c_str());
}

ResponseTest::~ResponseTest() {
  document_.reset();
  apr_pool_destroy(pool_);
  VqApplication::clearEnv();
  if (!oldCwd_.empty() && ::chdir(oldCwd_.c_str()) != 0) std::abort();
}

std::string ResponseTest::DataPath(const std::string& relative) const {
  return dir_.Append(relative);
}

TiXmlElement* ResponseTest::Parse(const std::string& xml) {
  document_ = std::make_unique<TiXmlDocument>();
  document_->Parse(xml.c_str());
  if (document_->Error() || !document_->RootElement()) {
    ADD_FAILURE() << "test XML does not parse: " << document_->ErrorDesc();
    return nullptr;
  }
  return document_->RootElement();
}

size_t ResponseTest::Assemble(const std::string& actionXml) {
  TiXmlElement* action = Parse(actionXml);
  VqResponseProcessor processor(pool_, &external_, "http://server/vq.php");
  TransactionEngine engine(&external_, pool_);
  engine.clear(true);
  struct Cleanup {
    TransactionEngine& engine;
    ~Cleanup() { engine.cleanupTransaction(); }
  } cleanup{engine};
  const std::string name = action->Value();
  if (name == "write") processor.ProcessActionWrite(action, engine);
  if (name == "web") processor.ProcessActionWeb(action, engine);
  if (name == "delete") processor.ProcessActionDelete(action, engine);
  if (name == "set") processor.ProcessActionSet(action, engine);
  if (name == "crash") processor.ProcessActionCrash(action, engine);
  // Any other name reaches the xmledit handler, which refuses it.
  if (name == "xmledit" || name == "other") {
    processor.ProcessActionXmlEdit(action, engine);
  }
  return engine.size();
}

void ResponseTest::RunTransactions(const std::string& documentXml) {
  TiXmlElement* root = Parse(documentXml);
  ASSERT_NE(root, nullptr);
  VqResponseProcessor processor(pool_, &external_, "http://server/vq.php");
  processor.processTransactions(root, &reporter_);
}

std::vector<std::string> ResponseTest::DataEntries() const {
  std::vector<std::string> entries;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(dir_.path())) {
    entries.push_back(
        std::filesystem::relative(entry.path(), dir_.path()).string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace vq_response_test
