// Launch tests start this: it writes its argv, session, signal state, stdin
// and open descriptors as "key=value" lines to $VQ_RECORD_FILE (written
// whole, by rename), after waiting up to 20 s for $VQ_RECORD_HOLD to exist.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const char* record = std::getenv("VQ_RECORD_FILE");
  if (record == nullptr) return 2;
  if (const char* hold = std::getenv("VQ_RECORD_HOLD")) {
    for (int i = 0; i < 4000 && access(hold, F_OK) != 0; ++i) usleep(5000);
  }
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
  text += "sid=" + std::to_string(getsid(0)) + "\npid=" +
          std::to_string(getpid()) + "\n";
  sigset_t mask;
  sigprocmask(SIG_SETMASK, nullptr, &mask);
  bool blocked = false;
  for (int s = 1; s < NSIG; ++s) blocked = blocked || sigismember(&mask, s) == 1;
  struct sigaction action;
  sigaction(SIGTERM, nullptr, &action);
  text += std::string("blocked=") + (blocked ? "1" : "0") + "\ntermdefault=" +
          (action.sa_handler == SIG_DFL ? "1" : "0") + "\n";
  char target[256] = {};
  if (readlink("/proc/self/fd/0", target, sizeof(target) - 1) > 0) {
    text += std::string("stdin=") + target + "\n";
  }
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(dir)) {
        continue;
      }
      text += std::string("fd=") + entry->d_name + "\n";
    }
    closedir(dir);
  }
  const std::string partial = std::string(record) + ".partial";
  std::ofstream(partial) << text;
  return std::rename(partial.c_str(), record) == 0 ? 0 : 3;
}
