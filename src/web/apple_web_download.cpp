#include "web/apple_web_download.h"

#include <utility>

#include "support/general_hash_functions.h"
#include "support/input_bounds.h"
#include "support/vq_exception.h"

AppleWebDownload::AppleWebDownload(apr_pool_t* pool)
    : AppleWebDownload(pool, WebHost::platform()) {}

AppleWebDownload::AppleWebDownload(apr_pool_t* pool, WebHost host)
    : AppleWeb(pool, std::move(host)),
      file_(log4cpp::Category::getInstance("WebDownload.apple"), pool) {
  logger = &log4cpp::Category::getInstance("WebDownload.apple");
  // The body goes to a file, so its size costs no memory; a download may
  // take as long as it needs while it keeps moving.
  setMaxBodyBytes(0);
  setTotalTimeoutSeconds(0);
  setLowSpeedLimit(vq_bounds::kDownloadLowSpeedBytesPerSecond);
}

AppleWebDownload::~AppleWebDownload() = default;

bool AppleWebDownload::get() {
  digest_.reset();
  sha256_.reset();
  completion_called_ = false;
  file_.create(PJWHash(getUrl()), getParams().hash());
  try {
    return AppleWeb::get();
  } catch (const VqException&) {
    // Checks made before the transfer fail without get_completed; the empty
    // file they leave would only pile up, so it goes too.
    if (!completion_called_ && file_.isOpen()) file_.discard(getUrl());
    throw;
  }
}

void AppleWebDownload::get_completed(bool success) {
  completion_called_ = true;
  if (logger->isDebugEnabled()) {
    logger->debugStream() << "get_completed(" << (success ? "true" : "false")
                          << ")";
  }
  if (success) {
    file_.complete(getUrl());
  } else {
    file_.discard(getUrl());
  }
}

void AppleWebDownload::receiveBody(const char* data, std::size_t size) {
  file_.write(data, size, getUrl());
  if (digest_enabled_) digest_.update(data, size);
  if (sha256_enabled_) sha256_.update(data, size);
}
