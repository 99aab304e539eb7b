#include "app/installation_layout.h"

#include "support/path.h"

InstallationLayout computeInstallationLayout(const char* argv0,
                                             const std::string& cwd) {
  const std::string started = argv0 != nullptr ? argv0 : "";
  const std::string::size_type slash = started.rfind('/');
  std::string dir =
      slash == std::string::npos ? started : started.substr(0, slash);
  if (dir.empty() || dir[0] != '/') {
    path absolute(cwd);
    absolute << dir;
    dir = absolute.str();
  }
  InstallationLayout layout;
  layout.dirApp = dir;
  path exe(dir);
  exe << path(started).basename();
  layout.exe = exe.getPlatformPath();
  layout.launchCmd = path(path(path(layout.exe).parent()).parent()).parent();
  return layout;
}

std::string dataDirectoryPath(const std::string& home,
                              const std::string& vendor,
                              const std::string& appName) {
  return home + "/Library/Application Support/" + vendor + "/" + appName;
}
