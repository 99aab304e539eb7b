#ifndef VQ_RESPONSE_ACTION_PERMISSIONS_H_
#define VQ_RESPONSE_ACTION_PERMISSIONS_H_

#include <string>

#include "support/error_codes.h"

class TiXmlElement;

// APR permission bits of files that actions write or download when the
// element has no "perm": owner read and write only.
constexpr int kDefaultActionPermissions = 0x0600;
// Added to a file's permissions for the directories created for it.
constexpr int kOwnerAllPermissions = 0x0700;

// The element's "perm" attribute in the strict permission grammar
// ("rw-r-----"), or kDefaultActionPermissions when it has none. A rejected
// text throws VqException(url, zone 1, severity 1, `rejectedCode`, "Bad
// permissions indicated in perm attribute of write element: " + reason).
int actionPermissions(const TiXmlElement* element, const std::string& url,
                      VqErrorCode rejectedCode);

#endif  // VQ_RESPONSE_ACTION_PERMISSIONS_H_
