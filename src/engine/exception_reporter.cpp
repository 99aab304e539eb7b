#include "engine/exception_reporter.h"

#include <log4cpp/Category.hh>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/application_variables.h"
#include "app/thread_external_interface.h"
#include "engine/error_report_request.h"
#include "engine/request_freshness.h"
#include "engine/server_url.h"
#include "response/vq_response_processor.h"
#include "support/apr_pool.h"
#include "support/source_location.h"
#include "support/vq_exception.h"
#include "web/apple_web.h"

namespace {

// Clears the in-progress flag however a report ends.
class ReportingScope {
 public:
  explicit ReportingScope(std::atomic<bool>& flag) : flag_(flag) {}
  ~ReportingScope() { flag_.store(false); }
  ReportingScope(const ReportingScope&) = delete;
  ReportingScope& operator=(const ReportingScope&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

ExceptionReporter* ExceptionReporter::getReporter() {
  static ExceptionReporter reporter;
  return &reporter;
}

ExceptionReporter::ExceptionReporter()
    : logger(log4cpp::Category::getInstance("vq.exceptionReporter")) {}

void ExceptionReporter::setExternal(ThreadExternalInterface* external) {
  threadExternal.store(external);
}

void ExceptionReporter::clearExternal(ThreadExternalInterface* external) {
  threadExternal.compare_exchange_strong(external, nullptr);
}

void ExceptionReporter::report(VqException& e) {
  if (logger.isWarnEnabled()) {
    logger.warn(std::string("ExceptionReporter::report(") + e.what() + ")");
  }
  apr::Pool pool;
  if (reporting.exchange(true)) {
    logger.debug("report dropped: another report is in progress");
    return;
  }
  ReportingScope scope(reporting);

  ThreadExternalInterface* external = threadExternal.load();
  if (external == nullptr) {
    logger.error("report dropped: no application interface installed");
    return;
  }

  std::vector<std::string> servers;
  std::unique_ptr<AppleWeb> web;
  FreshnessExpectation freshness;
  try {
    external->getAllServers(servers);
    web = std::make_unique<AppleWeb>(pool);
    // Quitting cancels the report instead of waiting for the server.
    web->setCancelCheck([external] { return external->shouldQuit(); });
    addErrorReportParameters(*web, *external, e, pool);
    freshness = addRequestNonce(*web, &freshnessNotices);
  } catch (const VqException& failure) {
    logger.error("Encountered exception during error sending preparation: " +
                 failure.getErrorDescription());
    return;
  } catch (const std::exception& failure) {
    logger.error(std::string("Encountered exception during error sending "
                             "preparation: ") +
                 failure.what());
    return;
  }

  const bool requireSignature =
      ApplicationVariables::getBool(ApplicationVariables::SECURE_SIGN);
  for (const std::string& server : servers) {
    if (external->shouldQuit()) return;
    const std::string url = serverPageUrl(server, kErrorPage);
    logger.debug("vqerror url: " + url);
    try {
      web->setUrl(url.c_str());
      web->get();
      // The reply may carry actions; it is processed without a reporter so
      // that its own failures cannot start another report.
      VqResponseProcessor processor(pool, external, url.c_str());
      processor.expectFreshAnswer(freshness);
      processor.process(*web, nullptr, requireSignature);
      return;
    } catch (const VqException& failure) {
      logger.error(
          "Exception encountered during ExceptionReporting to server " + url +
          ": " + failure.what() + " (" + VQ_SOURCE_LOCATION + ")");
    } catch (const std::string& text) {
      logger.error("Caught std::string error during ExceptionReporting: " +
                   text);
    } catch (const std::exception& failure) {
      // Other failures of the answer's processing end in the log as well:
      // the caller is usually handling an error already and must not be
      // interrupted by the report's own.
      logger.error(std::string("Caught std::exception during "
                               "ExceptionReporting to server ") +
                   url + ": " + failure.what());
    }
  }
}
