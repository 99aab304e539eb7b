#ifndef VQ_ENGINE_EXCEPTION_REPORTER_H_
#define VQ_ENGINE_EXCEPTION_REPORTER_H_

#include <atomic>

#include "response/answer_freshness.h"
#include "response/exception_report_interface.h"

namespace log4cpp {
class Category;
}  // namespace log4cpp

class ThreadExternalInterface;
class VqException;

// Posts VqExceptions to the page "vqerror.php" of the update servers, with
// the identifiers and the tail of the log, and runs the server's answer as an
// action document (without a reporter, so an answer cannot cause another
// report). The first server that accepts the report is the only one that
// gets it; when none does, the error stays in the log only: there is no
// retry and no queue.
//
// One instance serves the whole process. Reports come from the update
// thread; a report started while another one is in progress (on any thread)
// is dropped.
class ExceptionReporter : public ExceptionReportInterface {
 public:
  static ExceptionReporter* getReporter();

  ExceptionReporter(const ExceptionReporter&) = delete;
  ExceptionReporter& operator=(const ExceptionReporter&) = delete;

  // The application side used for the server list and the identifiers. Not
  // owned: whoever installs it removes it (null) before destroying it.
  // Reports made while none is installed are logged and dropped.
  void setExternal(ThreadExternalInterface* external);
  // Removes `external` if it is the one installed; another one is kept.
  void clearExternal(ThreadExternalInterface* external);

  // Sends one report. Logs and swallows every failure of the report itself
  // (network, server, answer processing); never throws.
  void report(VqException& e) override;

 private:
  ExceptionReporter();
  ~ExceptionReporter() override = default;

  log4cpp::Category& logger;
  std::atomic<bool> reporting{false};
  // Servers already told about in the log for replies without a second
  // signature.
  FreshnessNotices freshnessNotices;
  std::atomic<ThreadExternalInterface*> threadExternal{nullptr};
};

#endif  // VQ_ENGINE_EXCEPTION_REPORTER_H_
