#include "web/web_download.h"

#include <string>

#include "support/general_hash_functions.h"
#include "support/vq_exception.h"

WebDownload::WebDownload(apr_pool_t* pool)
    : Web(pool),
      file_(log4cpp::Category::getInstance("WebDownload"), pool) {
  logger = &log4cpp::Category::getInstance("WebDownload");
}

WebDownload::~WebDownload() = default;

bool WebDownload::get() {
  file_.create(PJWHash(getUrl()), getParams().hash());
  logger->error(
      "Cannot actually call WebDownload::get, since this is a non-functional "
      "base-class.");
  return false;
}

void WebDownload::get_completed(bool success) {
  if (success) {
    file_.complete(getUrl());
  } else {
    file_.discard(getUrl());
  }
}

void WebDownload::write_data(void* data, unsigned long size,
                             unsigned long count) {
  const unsigned long total = size * count;
  if (count != 0 && total / count != size) {
    logger->errorStream() << "Failed writing to file " << file_.name();
    throw std::string("Failed writing to file");
  }
  try {
    file_.write(static_cast<const char*>(data), total, getUrl());
  } catch (const VqException&) {
    logger->errorStream() << "Failed writing to file " << file_.name();
    throw std::string("Failed writing to file");
  }
}

void WebDownload::receiveBody(const char* data, std::size_t size) {
  write_data(const_cast<char*>(data), 1, size);
}
