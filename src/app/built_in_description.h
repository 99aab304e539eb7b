#ifndef VQ_APP_BUILT_IN_DESCRIPTION_H_
#define VQ_APP_BUILT_IN_DESCRIPTION_H_

#include "app/application_identity.h"

class VqApplicationSettings;

// Reads the built-in application description,
//   <vqApplication feedId=".." appId=".." build=".." platform=".." name=".."
//                  swf=".." title=".."><defaultServers><server>URL</server>
//   ...</defaultServers></vqApplication>,
// into `identity`, letting the installation's settings override the ids and
// names. Returns false, leaving `identity` untouched, when the text does not
// parse.
bool readBuiltInDescription(const char* xml,
                            const VqApplicationSettings& settings,
                            ApplicationIdentity* identity);

#endif  // VQ_APP_BUILT_IN_DESCRIPTION_H_
