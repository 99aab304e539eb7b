#include "response/action_permissions.h"

#include <tinyxml.h>

#include <stdexcept>

#include "support/apr_permissions.h"
#include "support/vq_exception.h"

int actionPermissions(const TiXmlElement* element, const std::string& url,
                      VqErrorCode rejectedCode) {
  const char* perm = element->Attribute("perm");
  if (!perm) return kDefaultActionPermissions;
  try {
    return apr_permstr(perm);
  } catch (const std::runtime_error& e) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(1), rejectedCode,
                      "Bad permissions indicated in perm attribute of write "
                      "element: %s",
                      e.what());
  }
}
