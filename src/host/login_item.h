#ifndef VQ_HOST_LOGIN_ITEM_H_
#define VQ_HOST_LOGIN_ITEM_H_

#include <string>

namespace host {

// Makes the agent start at login through an XDG autostart entry: a file
// "<NAME>.desktop" in the autostart directory that starts the bundle's
// executable (NAME.app/Contents/MacOS/NAME; a path that is no NAME.app
// directory is started as it is). The entry is not hidden. Registering the
// same bundle again rewrites the same file; autostart entries have no order,
// so "after the existing entries" has no meaning here.
class LoginItem {
 public:
  // Entries go to `autostartDir`, created (mode 0700, with missing parents)
  // when needed.
  explicit LoginItem(std::string autostartDir);

  // $XDG_CONFIG_HOME/autostart when that variable holds an absolute path,
  // else $HOME/.config/autostart; empty when neither can be formed.
  static std::string defaultAutostartDir();

  // Writes the entry for `bundlePath` by create, flush, rename, so a reader
  // never sees half an entry. Returns false, writing nothing, when the path
  // is empty, not absolute, or holds a control character (it would break
  // the entry's line structure), or when the file cannot be written.
  bool registerStartItem(const std::string& bundlePath) const;

  // The file registerStartItem writes for `bundlePath`.
  std::string entryPathFor(const std::string& bundlePath) const;

  // The entry's text for `bundlePath` (which must be acceptable to
  // registerStartItem).
  static std::string entryText(const std::string& bundlePath);

 private:
  std::string autostartDir_;
};

}  // namespace host

#endif  // VQ_HOST_LOGIN_ITEM_H_
