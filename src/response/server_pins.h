#ifndef VQ_RESPONSE_SERVER_PINS_H_
#define VQ_RESPONSE_SERVER_PINS_H_

#include <apr_pools.h>

#include <string>

// The servers that have once answered with a valid second signature
// ("xxx-vq-sig2"). From then on an answer from such a server without one is
// refused, so stripping the header cannot downgrade it to replayable
// answers.
//
// Kept in a file of the data directory that agents without this check
// ignore: one server base URL per line. The file is read on every query and
// replaced as a whole (written to a unique temporary, flushed to disk, then
// renamed over it), so a crash leaves the old list or the new one, never a
// torn one. Callers on several threads may pin at once: each writes its own
// temporary, and the worst outcome is one lost entry, which the next signed
// answer of that server restores.
class ServerPins {
 public:
  // The file's name, relative to the working directory (the data
  // directory).
  static constexpr const char* kFileName = "vq.pins";
  // Entries beyond this many are not read (a list this long is not ours).
  static constexpr std::size_t kMaxEntries = 4096;

  explicit ServerPins(apr_pool_t* pool, std::string path = kFileName);

  // True when `server` is on the list. A missing or unreadable file is an
  // empty list.
  bool isPinned(const std::string& server) const;
  // Puts `server` on the list unless it is there already. False, with the
  // reason in `why`, when the server cannot be stored (a control character
  // in it) or the file cannot be replaced.
  bool pin(const std::string& server, std::string* why);

 private:
  bool readEntries(std::string* text) const;

  apr_pool_t* pool_;
  std::string path_;
};

// The server a page URL belongs to: the URL up to and including its last
// "/" (the base URL the page was formed from). Update and error pages of a
// server therefore share their pin.
std::string serverOfPage(const std::string& pageUrl);

#endif  // VQ_RESPONSE_SERVER_PINS_H_
