#include "web/web.h"

#include <tinyxml.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "support/http_query_string.h"
#include "support/input_bounds.h"
#include "support/log_text.h"
#include "support/vq_exception.h"

namespace {
constexpr std::size_t kFormattedValueSize = 8192;
}  // namespace

Web::Web(apr_pool_t* pool)
    : logger(&log4cpp::Category::getInstance("Web")),
      params(pool),
      body(pool),
      pool(pool),
      maxBodyBytes_(vq_bounds::kMaxAnswerBytes) {}

Web::~Web() = default;

void Web::get_completed(bool) {}

void Web::setUrl(const char* text) { url = text != nullptr ? text : ""; }

void Web::addParameter(const char* name, const char* value) {
  params.addParameter(name, value);
}

void Web::addParameter(const char* name, const char* begin, const char* end) {
  params.addParameter(name, begin, end);
}

void Web::addParameterf(const char* name, const char* format, ...) {
  if (name == nullptr || format == nullptr) return;
  // vsnprintf cuts an over-long value instead of overrunning the buffer.
  char value[kFormattedValueSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(value, sizeof(value), format, args);
  va_end(args);
  params.addParameter(name, value);
}

void Web::addParameter(const char* name, const TiXmlDocument* document) {
  if (name == nullptr || document == nullptr) return;
  std::ostringstream text;
  text << *document;
  const std::string xml = text.str();
  params.addParameter(name, xml.data(), xml.data() + xml.size());
}

void Web::setHeader(const std::string& name, const std::string& value) {
  headers[name] = value;
}

const char* Web::getHeader(const char* name) const {
  if (name == nullptr) return nullptr;
  auto found = headers.find(name);
  return found == headers.end() ? nullptr : found->second.c_str();
}

std::string& Web::resultString() {
  result.assign(body.begin(), body.size());
  return result;
}

const char* Web::c_str() {
  body.append('\0');
  return body.begin();
}

void Web::logDebug() {
  if (!logger->isDebugEnabled()) return;
  logger->debugStream() << "URL: " << url;
  debugParams(*logger);
}

void Web::debugParams(log4cpp::Category& category) {
  if (!category.isDebugEnabled()) return;
  params.addNull();
  const http::QueryString decoded(params.begin());
  log4cpp::Category& vars =
      log4cpp::Category::getInstance(category.getName() + ".vars");
  // Parameters carry whole files (the feed, included files, a log tail).
  for (const auto& parameter : decoded) {
    vars.debug(vq_support::LogSafe(parameter.first) + "=" +
               vq_support::LogSafeBody(parameter.second));
  }
}

void Web::receiveBody(const char* data, std::size_t size) {
  if (maxBodyBytes_ != 0 && size > maxBodyBytes_ - body.size()) {
    throw VqException(url.c_str(), VqException::ZONE_CLIENT,
                      VqException::SEVERITY_LOW, kErrTransport,
                      "Error on web request to %s: the answer is larger "
                      "than %zu bytes and was refused",
                      url.c_str(), maxBodyBytes_);
  }
  body.append(data, size);
}

WebParameterBuffer& Web::requestParams() {
  params.removeTrailingNulls();
  return params;
}
