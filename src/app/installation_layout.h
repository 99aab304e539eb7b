#ifndef VQ_APP_INSTALLATION_LAYOUT_H_
#define VQ_APP_INSTALLATION_LAYOUT_H_

#include <string>

// Where the agent is installed, worked out from the path it was started
// with. The agent runs from a bundle NAME.app/Contents/MacOS/EXECUTABLE whose
// directory also holds the settings files and "initial_data".
struct InstallationLayout {
  // The executable's directory: argv[0] up to its last "/" (the whole text
  // when it has none), made absolute against `cwd` when relative.
  std::string dirApp;
  // dirApp joined with argv[0]'s base name.
  std::string exe;
  // The bundle: the third ancestor of `exe`.
  std::string launchCmd;
};

InstallationLayout computeInstallationLayout(const char* argv0,
                                             const std::string& cwd);

// The per-user data directory:
// HOME/Library/Application Support/<vendor>/<appName>.
std::string dataDirectoryPath(const std::string& home,
                              const std::string& vendor,
                              const std::string& appName);

#endif  // VQ_APP_INSTALLATION_LAYOUT_H_
