#include "app/vq_application_settings.h"

#include <strings.h>

#include <cstdlib>

#include "app/xml_file.h"
#include "support/path.h"

VqApplicationSettings::VqApplicationSettings(const char* directory,
                                             apr_pool_t*) {
  path file(directory);
  file << kFileName;
  if (!loadXmlFile(*this, file.getPlatformPath().c_str())) {
    return;
  }
  const TiXmlElement* root = RootElement();
  if (root == nullptr || strcasecmp(root->Value(), "vqapplication") != 0) {
    return;
  }
  if (const char* text = root->Attribute("feedId")) feedId_ = atol(text);
  if (const char* text = root->Attribute("appId")) appId_ = atol(text);
  if (const char* text = root->Attribute("appName")) appName_ = text;
  if (const char* text = root->Attribute("appTitle")) appTitle_ = text;
  if (const char* text = root->Attribute("swfName")) swfName_ = text;
}
