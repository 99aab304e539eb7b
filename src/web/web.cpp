#include "web/web.h"

#include <tinyxml.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "support/http_query_string.h"

namespace {
constexpr std::size_t kFormattedValueSize = 8192;
}  // namespace

Web::Web(apr_pool_t* pool)
    : logger(&log4cpp::Category::getInstance("Web")),
      params(pool),
      body(pool),
      pool(pool) {}

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
  http::QueryString(params.begin()).debug(category);
}

void Web::receiveBody(const char* data, std::size_t size) {
  body.append(data, size);
}

WebParameterBuffer& Web::requestParams() {
  params.removeTrailingNulls();
  return params;
}
