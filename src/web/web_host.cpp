#include "web/web_host.h"

WebHost WebHost::platform() {
  return WebHost{host::createHttpTransport(), host::createReachability()};
}
