#ifndef VQ_APP_VQ_APPLICATION_SETTINGS_H_
#define VQ_APP_VQ_APPLICATION_SETTINGS_H_

#include <apr_pools.h>
#include <tinyxml.h>

#include <string>

// The installation's optional overrides of the built-in identity, read from
// "vqapplication.xml" in the installation directory:
//   <vqapplication feedId="363" appId="843" appName=".." appTitle=".."
//                  swfName=".."/>
// The root name is compared without regard to case. A missing, unreadable,
// malformed or wrongly rooted file leaves every default and logs nothing.
class VqApplicationSettings : public TiXmlDocument {
 public:
  static constexpr const char* kFileName = "vqapplication.xml";

  // Reads `directory`/vqapplication.xml; never fails.
  VqApplicationSettings(const char* directory, apr_pool_t* pool);

  // The ids, or -1 when absent ("use the built-in one"). A non-numeric text
  // reads as atol does (0 for text without leading digits).
  long feedId() const { return feedId_; }
  long appId() const { return appId_; }
  // The texts, or null when absent or empty ("use the built-in one").
  const char* appName() const { return orNull(appName_); }
  const char* appTitle() const { return orNull(appTitle_); }
  const char* swfName() const { return orNull(swfName_); }

 private:
  static const char* orNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
  }

  long feedId_ = -1;
  long appId_ = -1;
  std::string appName_;
  std::string appTitle_;
  std::string swfName_;
};

#endif  // VQ_APP_VQ_APPLICATION_SETTINGS_H_
