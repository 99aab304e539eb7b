#ifndef VQ_ENGINE_VQ_FEED_SETTINGS_H_
#define VQ_ENGINE_VQ_FEED_SETTINGS_H_

#include <apr_pools.h>

#include <string>

namespace log4cpp {
class Category;
}  // namespace log4cpp

class TiXmlElement;
class Web;

// The feed description "vqfeed.xml" (relative to the working directory, the
// data directory). Each update request carries it as the parameter "vq" with
// its include elements resolved; when it is missing or unusable the request
// carries an "error" document instead, so the server always learns why.
//
// Constructed afresh for each update, on the pass's pool; used by one thread.
class VqFeedSettings {
 public:
  static const std::string feedSettingsFilename;

  explicit VqFeedSettings(apr_pool_t* pool);

  VqFeedSettings(const VqFeedSettings&) = delete;
  VqFeedSettings& operator=(const VqFeedSettings&) = delete;

  // Adds "vq" and one "p<n>" parameter per non-inline include file to `web`.
  // Never throws for a missing or bad feed file.
  void prepareRequest(Web& web);

  // Resolves the include elements at every depth below `element`: marks each
  // with "exists", inlines its file as CDATA or attaches it as the next
  // "p<n>" parameter, and removes an include whose "file" text repeats that
  // of an earlier sibling include. Only a regular file of at most
  // vq_bounds::kMaxIncludeTextBytes is read; any other existing file (a
  // FIFO, a device, a larger file) is skipped with a warning and sent as
  // empty, "exists" "true", like an unreadable one.
  void handleIncludeNodes(TiXmlElement* element, Web& web);

  // The "id" of the root's "user" child of a well-formed version 2.0 feed
  // file, or -1. Reads the file on every call.
  static long getUserId();

  // Makes the application variable "id.user" read getUserId().
  static void installUserIdProvider();

 private:
  // The feed file's text for an error document: at most the XML bound of a
  // regular file, else "ERROR: " and the reason.
  static std::string readFeedText();
  // Adds an "error" document with `code` as parameter "vq". A non-null
  // `description` is set first; `fileText` becomes CDATA when non-null.
  void addErrorDocument(Web& web, const char* code, const char* description,
                        const std::string* fileText);

  apr_pool_t* pool;
  log4cpp::Category& logger;
  int paramCounter = 0;
};

#endif  // VQ_ENGINE_VQ_FEED_SETTINGS_H_
