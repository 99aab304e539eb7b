#include "engine/error_report_request.h"

#include <string>

#include "app/application_variables.h"
#include "app/thread_external_interface.h"
#include "engine/log_tail.h"
#include "engine/vq_feed_settings.h"
#include "support/bounded_file.h"
#include "support/input_bounds.h"
#include "support/vq_exception.h"
#include "web/web.h"

namespace {

constexpr const char* kCurrentLog = "vq.log";
constexpr const char* kPreviousLog = "vq.log.1";

// The feed file as text (up to its first NUL), empty when it is missing,
// unreadable, not a regular file or beyond the XML bound.
std::string readFeedFile() {
  std::string text;
  if (vq_support::readRegularFile(VqFeedSettings::feedSettingsFilename,
                                  vq_bounds::kMaxXmlBytes, &text, nullptr) !=
      vq_support::FileReadStatus::kRead) {
    return std::string();
  }
  return std::string(text.c_str());
}

}  // namespace

void addErrorReportParameters(Web& web, ThreadExternalInterface& external,
                              const VqException& error, apr_pool_t* pool) {
  web.addParameter("build", external.getBuild());
  web.addParameter(
      "feedId",
      ApplicationVariables::get(ApplicationVariables::ID_FEED).c_str());
  web.addParameter(
      "appId", ApplicationVariables::get(ApplicationVariables::ID_APP).c_str());
  web.addParameter("os", external.getOS());
  web.addParameter("platform", external.getPlatform());
  web.addParameter("machineId", external.getMachineId());
  web.addParameterf("errCode", "%ld", static_cast<long>(error.getErrorCode()));
  web.addParameter("errDesc", error.getErrorDescription().c_str());
  web.addParameterf("errZone", "%d", static_cast<int>(error.getErrorZone()));
  web.addParameterf("errSeverity", "%d",
                    static_cast<int>(error.getErrorSeverity()));
  web.addParameter(
      "userId",
      ApplicationVariables::get(ApplicationVariables::ID_USER).c_str());
  web.addParameter("logFile", readLogTail(kCurrentLog, kPreviousLog,
                                          kReportLogTailBytes, pool)
                                  .c_str());
  web.addParameter("feedFile", readFeedFile().c_str());
  web.addParameter("lastUrl",
                   error.url().empty() ? "NO URL" : error.url().c_str());
  if (ApplicationVariables::getBool(ApplicationVariables::SECURE_SIGN)) {
    web.addParameter("sign", "true");
  }
}
