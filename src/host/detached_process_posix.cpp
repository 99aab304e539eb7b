#include "host/detached_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <system_error>
#include <thread>

extern char** environ;

namespace host {
namespace {

bool holdsNul(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

// Owners of the spawn attribute objects, so every return path frees them.
class SpawnAttributes {
 public:
  SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
  ~SpawnAttributes() {
    if (ok_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  bool ok() const { return ok_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  bool ok_ = false;
};

class FileActions {
 public:
  FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~FileActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
};

int prepareAttributes(SpawnAttributes& attributes) {
  if (!attributes.ok()) return ENOMEM;
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  int rc = posix_spawnattr_setsigmask(attributes.get(), &none);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(attributes.get(), &all);
  if (rc == 0) {
    rc = posix_spawnattr_setflags(
        attributes.get(),
        POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  }
  return rc;
}

int prepareFileActions(FileActions& actions) {
  if (!actions.ok()) return ENOMEM;
  int rc = posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO,
                                            "/dev/null", O_RDONLY, 0);
  if (rc == 0) {
    rc = posix_spawn_file_actions_addclosefrom_np(actions.get(),
                                                  STDERR_FILENO + 1);
  }
  return rc;
}

void reap(pid_t pid) {
  // ECHILD when the process ignores SIGCHLD and the kernel reaped it.
  while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
  }
}

}  // namespace

SpawnOutcome spawnDetached(const std::string& program,
                           const std::vector<std::string>& argv,
                           bool searchPath) {
  SpawnOutcome outcome;
  if (program.empty()) {
    outcome.error = ENOENT;
    return outcome;
  }
  if (holdsNul(program)) {
    outcome.error = EINVAL;
    return outcome;
  }
  std::vector<char*> rawArgv;
  rawArgv.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    if (holdsNul(arg)) {
      outcome.error = EINVAL;
      return outcome;
    }
    rawArgv.push_back(const_cast<char*>(arg.c_str()));
  }
  rawArgv.push_back(nullptr);

  SpawnAttributes attributes;
  FileActions actions;
  int rc = prepareAttributes(attributes);
  if (rc == 0) rc = prepareFileActions(actions);
  if (rc != 0) {
    outcome.error = rc;
    return outcome;
  }
  pid_t pid = -1;
  rc = searchPath ? posix_spawnp(&pid, program.c_str(), actions.get(),
                                 attributes.get(), rawArgv.data(), environ)
                  : posix_spawn(&pid, program.c_str(), actions.get(),
                                attributes.get(), rawArgv.data(), environ);
  if (rc != 0) {
    outcome.error = rc;
    return outcome;
  }
  outcome.pid = pid;
  try {
    std::thread(reap, pid).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child runs on and becomes a zombie when it
    // ends, which is better than failing a launch that already happened.
  }
  return outcome;
}

}  // namespace host
