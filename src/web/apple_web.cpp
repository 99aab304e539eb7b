#include "web/apple_web.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "host/url_parser.h"
#include "support/input_bounds.h"
#include "support/vq_exception.h"

namespace {

constexpr char kSourceFile[] = "apple_web.cpp";

bool isPrintableAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7e) {
      if (c != '\t') return false;
    }
  }
  return true;
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::atomic<std::uint32_t> AppleWeb::request_timeout_count_{0};

// Hands body pieces to the request as they arrive and keeps the headers for
// after the transfer. An exception from the request cannot cross the C
// transport, so it is kept and the transfer aborted.
class AppleWeb::ResponseSink : public host::HttpResponseSink {
 public:
  explicit ResponseSink(AppleWeb& web) : web_(web) {}

  bool onBodyData(const char* data, std::size_t size) override {
    try {
      web_.receiveBody(data, size);
      return true;
    } catch (...) {
      failure_ = std::current_exception();
      return false;
    }
  }

  void onHeader(const std::string& name, const std::string& value) override {
    headers_.emplace_back(name, value);
  }

  std::exception_ptr failure() const { return failure_; }
  const std::vector<std::pair<std::string, std::string>>& headers() const {
    return headers_;
  }

 private:
  AppleWeb& web_;
  std::exception_ptr failure_;
  std::vector<std::pair<std::string, std::string>> headers_;
};

AppleWeb::AppleWeb(apr_pool_t* pool) : AppleWeb(pool, WebHost::platform()) {}

// The transports used here keep no response cache, so there is nothing to
// switch off on construction.
AppleWeb::AppleWeb(apr_pool_t* pool, WebHost host)
    : Web(pool),
      host_(std::move(host)),
      totalTimeoutSeconds_(vq_bounds::kRequestDeadlineSeconds) {
  logger = &log4cpp::Category::getInstance("Web.apple");
}

AppleWeb::~AppleWeb() = default;

std::uint32_t AppleWeb::requestTimeoutCount() {
  return request_timeout_count_.load();
}

bool AppleWeb::get() {
  mutableBody().clear();
  const std::string& url = getUrl();

  const host::ParsedUrl parsed = host::parseUrl(url);
  if (!parsed.parsed) {
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_MEDIUM, kErrTransportBadUrl,
                      "Unable to parse requested url (%s) as a NSURL (%s:%d)",
                      url.c_str(), kSourceFile, __LINE__);
  }
  if (parsed.host.empty()) {
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_MEDIUM, kErrTransportBadUrl,
                      "Unable host in url (%s) (%s:%d)", url.c_str(),
                      kSourceFile, __LINE__);
  }
  if (logger->isDebugEnabled()) {
    logger->debugStream() << "host is " << parsed.host;
  }

  switch (host_.reachability->check(parsed.host)) {
    case host::HostReachability::kCannotCheck:
      throw VqException(
          url.c_str(), VqException::ZONE_CLIENT, VqException::SEVERITY_MEDIUM,
          kErrTransportBadUrl,
          "Creation of SCNetworkReachabilityRef failed for host (%s) (%s:%d)",
          parsed.host.c_str(), kSourceFile, __LINE__);
    case host::HostReachability::kUnreachable:
      throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                        VqException::SEVERITY_LOW, kErrTransportUnreachable,
                        "Unable to reach url (%s) (%s:%d)", url.c_str(),
                        kSourceFile, __LINE__);
    case host::HostReachability::kUnknown:
      logger->warnStream() << "SCNetworkReachabilityGetFlags failed for url "
                           << url << " (" << kSourceFile << ":" << __LINE__
                           << ")";
      break;
    case host::HostReachability::kReachable:
      if (logger->isDebugEnabled()) {
        logger->debugStream() << "SCNetworkReachabilityGetFlags returned 2 ("
                              << kSourceFile << ":" << __LINE__ << ")";
      }
      break;
  }

  WebParameterBuffer& params = requestParams();
  host::HttpRequest request;
  request.url = url;
  request.body = params.begin();
  request.body_size = params.size();
  request.idle_timeout_seconds = vq_bounds::kIdleTimeoutSeconds;
  request.low_speed_bytes_per_second = lowSpeedBytesPerSecond_;
  request.total_timeout_seconds = totalTimeoutSeconds_;
  request.max_body_bytes = maxBodyBytes();
  request.cancelled = cancelled_;
  ResponseSink sink(*this);
  const host::HttpResult outcome = host_.transport->fetch(request, sink);

  if (!outcome.completed) {
    logger->error("web request timed out.");
    const std::uint32_t count = ++request_timeout_count_;
    get_completed(false);
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_MEDIUM, kErrTransportTimeout,
                      "Timeout occurred on asynchronous web request. Total "
                      "timeouts occurred: %d (%s:%d)",
                      static_cast<int>(count), kSourceFile, __LINE__);
  }
  if (sink.failure()) {
    // The body could not be taken (a download's file write failed, say):
    // that failure, not the aborted transfer, is what the caller hears.
    get_completed(false);
    std::rethrow_exception(sink.failure());
  }
  if (outcome.cancelled) {
    logger->info("web request to " + url + " cancelled");
    get_completed(false);
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_LOW, kErrTransport,
                      "Web request to %s cancelled (%s:%d)", url.c_str(),
                      kSourceFile, __LINE__);
  }
  if (!outcome.error.empty()) {
    get_completed(false);
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_LOW, kErrTransport,
                      "Error on web request to " + url + ": " + outcome.error +
                          " (" + kSourceFile + ":" +
                          std::to_string(__LINE__) + ")");
  }

  for (const auto& header : sink.headers()) {
    storeHeader(header.first, header.second);
  }
  get_completed(true);
  logger->debug("Returning from AppleWeb::get(..)");
  return true;
}

// Header entries that are not plain ASCII text of at most kMaxHeaderText
// bytes are skipped, the same as entries that are not text at all.
void AppleWeb::storeHeader(const std::string& name, const std::string& value) {
  if (name.empty() || name.size() > kMaxHeaderText ||
      value.size() > kMaxHeaderText || !isPrintableAscii(name) ||
      !isPrintableAscii(value)) {
    logger->warn("key-value in headers not both strings");
    return;
  }
  const std::string lower = lowerAscii(name);
  setHeader(lower, value);
  if (logger->isDebugEnabled()) {
    logger->debugStream() << "Set header " << lower << ": " << value;
  }
}
