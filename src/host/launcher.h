#ifndef VQ_HOST_LAUNCHER_H_
#define VQ_HOST_LAUNCHER_H_

#include <functional>
#include <string>
#include <vector>

#include "host/detached_process.h"

namespace host {

// Starts programs and opens documents and URLs for the agent.
//
// Logs on the categories "vq.callback.openDocument" and
// "vq.callback.launchApplication", but only while `loggingEnabled` answers
// true (the application's logging is configured); before that it logs
// nothing. Launch failures are never reported to the caller, only logged.
// Stateless after construction: one instance may serve several threads.
class Launcher {
 public:
  using SpawnFunction = std::function<SpawnOutcome(
      const std::string& program, const std::vector<std::string>& argv,
      bool searchPath)>;
  using ExistsFunction = std::function<bool(const std::string& path)>;

  struct Options {
    // Starts a program; spawnDetached by default.
    SpawnFunction spawn;
    // Whether a file or directory exists at a path; stat by default.
    ExistsFunction exists;
    // The program that opens documents and URLs with the user's default
    // handler. A name without a slash is looked up in PATH.
    std::string opener = "xdg-open";
    // Whether log lines are written; always by default.
    std::function<bool()> loggingEnabled;
  };

  Launcher();
  explicit Launcher(Options options);

  // A non-empty `exe` is started with `args` (launchApplication). Otherwise
  // args[0] is opened with the opener and the rest of `args` is ignored: as a
  // URL when it begins with "http:", "https:" or "mailto:" or when no file
  // exists at that path, else as a file. Returns 0; the result carries no
  // meaning.
  int openDocument(const std::string& exe,
                   const std::vector<std::string>& args) const;

  // Starts `exe` with argv = exe followed by `args`, detached and never
  // waited for. A directory NAME.app (a bundle) starts its executable
  // NAME.app/Contents/MacOS/NAME, still with argv[0] = `exe`. A relative
  // `exe` is taken relative to the working directory, never looked up in
  // PATH. Returns 0 or the errno value of the failed start.
  int launchApplication(const std::string& exe,
                        const std::vector<std::string>& args) const;

  // The program that launchApplication starts for `exe`: the bundle's
  // executable for a directory named NAME.app, else `exe` itself.
  std::string programFor(const std::string& exe) const;

 private:
  void openWithOpener(const std::string& target, bool asUrl,
                      bool logging) const;

  Options options_;
};

}  // namespace host

#endif  // VQ_HOST_LAUNCHER_H_
