#include "host/launcher.h"

#include "support/string_util.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstring>
#include <utility>

#include <log4cpp/Category.hh>

namespace host {
namespace {

constexpr char kOpenDocumentCategory[] = "vq.callback.openDocument";
constexpr char kLaunchApplicationCategory[] = "vq.callback.launchApplication";
constexpr char kBundleSuffix[] = ".app";

bool statExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string launchLine(const std::string& exe, std::size_t count) {
  return "Launching " + exe + " with " + std::to_string(count) +
         " arguments.";
}

}  // namespace

Launcher::Launcher() : Launcher(Options()) {}

Launcher::Launcher(Options options) : options_(std::move(options)) {
  if (!options_.spawn) options_.spawn = &spawnDetached;
  if (!options_.exists) options_.exists = &statExists;
  if (!options_.loggingEnabled) options_.loggingEnabled = [] { return true; };
}

std::string Launcher::programFor(const std::string& exe) const {
  std::string bundle = exe;
  while (bundle.size() > 1 && bundle.back() == '/') bundle.pop_back();
  const std::size_t slash = bundle.rfind('/');
  const std::string base =
      bundle.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t suffix = std::strlen(kBundleSuffix);
  if (base.size() <= suffix ||
      base.compare(base.size() - suffix, suffix, kBundleSuffix) != 0 ||
      !isDirectory(bundle)) {
    return exe;
  }
  return bundle + "/Contents/MacOS/" + base.substr(0, base.size() - suffix);
}

int Launcher::launchApplication(const std::string& exe,
                                const std::vector<std::string>& args) const {
  log4cpp::Category* log =
      options_.loggingEnabled()
          ? &log4cpp::Category::getInstance(kLaunchApplicationCategory)
          : nullptr;
  if (log != nullptr) log->debug(launchLine(exe, args.size()));
  std::vector<std::string> argv;
  argv.reserve(args.size() + 1);
  argv.push_back(exe);
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string program = programFor(exe);
  const SpawnOutcome outcome = options_.spawn(program, argv, false);
  if (outcome.error != 0 && log != nullptr) {
    log->error("Could not start " + program + ": " +
               std::strerror(outcome.error));
  }
  return outcome.error;
}

int Launcher::openDocument(const std::string& exe,
                           const std::vector<std::string>& args) const {
  const bool logging = options_.loggingEnabled();
  log4cpp::Category* log =
      logging ? &log4cpp::Category::getInstance(kOpenDocumentCategory)
              : nullptr;
  if (log != nullptr) log->debug(launchLine(exe, args.size()));
  if (!exe.empty()) {
    launchApplication(exe, args);
    return 0;
  }
  if (args.empty()) {
    if (log != nullptr) {
      log->error("openDocument(..) called, but exe and args are empty");
    }
    return 0;
  }
  const std::string& document = args[0];
  if (log != nullptr) log->debug("openDocument(" + document + ", document)");
  // A text with an embedded NUL cannot become a C string for the opener.
  if (document.find('\0') != std::string::npos) {
    if (log != nullptr) log->error("NSString::initWithCString returned NULL");
    return 0;
  }
  const bool asUrl = vq_support::StartsWith(document, "http:") ||
                     vq_support::StartsWith(document, "https:") ||
                     vq_support::StartsWith(document, "mailto:") ||
                     !options_.exists(document);
  if (asUrl) {
    openWithOpener(document, true, logging);
    return 0;
  }
  if (log != nullptr) log->debug("Calling openFile");
  openWithOpener(document, false, logging);
  if (log != nullptr) log->debug("Returned from openFile");
  return 0;
}

void Launcher::openWithOpener(const std::string& target, bool asUrl,
                              bool logging) const {
  log4cpp::Category* log =
      logging ? &log4cpp::Category::getInstance(kOpenDocumentCategory)
              : nullptr;
  std::string argument = target;
  bool refused = false;
  if (vq_support::StartsWith(target, "-")) {
    // The opener would read it as an option. A file is still reachable
    // through an explicit relative path; a "URL" like that is not one.
    if (asUrl) {
      refused = true;
    } else {
      argument = "./" + target;
    }
  }
  SpawnOutcome outcome;
  if (!refused) {
    const bool searchPath = options_.opener.find('/') == std::string::npos;
    outcome = options_.spawn(options_.opener, {options_.opener, argument},
                             searchPath);
    if (outcome.error == ENOENT && log != nullptr) {
      log->error(options_.opener + " is not installed: cannot open " +
                 target);
    }
  }
  const bool failed = refused || outcome.error != 0;
  if (log == nullptr) return;
  if (asUrl) {
    if (failed) {
      log->error("openURL failed");
    } else {
      log->debug("openURL succeeded");
    }
  } else if (failed) {
    log->error("openFile:" + target + " failed");
  }
}

}  // namespace host
