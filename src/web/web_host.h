#ifndef VQ_WEB_WEB_HOST_H_
#define VQ_WEB_WEB_HOST_H_

#include <memory>

#include "host/http_transport.h"
#include "host/reachability.h"

// The platform facilities a web request uses. Tests hand in their own.
struct WebHost {
  std::shared_ptr<host::HttpTransport> transport;
  std::shared_ptr<host::Reachability> reachability;

  // The platform's own transport and reachability check.
  static WebHost platform();
};

#endif  // VQ_WEB_WEB_HOST_H_
