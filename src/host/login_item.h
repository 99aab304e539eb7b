#ifndef VQ_HOST_LOGIN_ITEM_H_
#define VQ_HOST_LOGIN_ITEM_H_

#include <string>

namespace host {

// Makes the agent start at login through an XDG autostart entry: a file
// "<NAME>.desktop" in the autostart directory that starts the given
// executable, normally the running one; without one given, the bundle's
// conventional executable (NAME.app/Contents/MacOS/NAME; a path that is no
// NAME.app directory is started as it is). The entry is not hidden. Registering the
// same bundle again rewrites the same file; autostart entries have no order,
// so "after the existing entries" has no meaning here.
class LoginItem {
 public:
  // Entries go to `autostartDir`, created (mode 0700, with missing parents)
  // when needed. `executable`, when not empty, is what the entry starts;
  // it must be absolute and free of control characters.
  explicit LoginItem(std::string autostartDir, std::string executable = "");

  // The real path of the running program (every link resolved), empty when
  // it cannot be found. A bundle renamed after it was built still holds an
  // executable of its original name, so this, not a name derived from the
  // bundle's, is what starts the agent again.
  static std::string runningExecutable();

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
  // registerStartItem), starting `executable` or, when that is empty, the
  // bundle's conventional executable.
  static std::string entryText(const std::string& bundlePath,
                               const std::string& executable = "");

 private:
  std::string autostartDir_;
  std::string executable_;
};

}  // namespace host

#endif  // VQ_HOST_LOGIN_ITEM_H_
