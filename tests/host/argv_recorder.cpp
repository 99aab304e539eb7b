// A program for launch tests: writes what it was started with to the file
// named by $VQ_RECORD_FILE, as "key=value" lines:
//   arg=<each argv entry, argv[0] first>
//   sid=<session id>  pid=<process id>
//   blocked=<1 when any signal is blocked>  termdefault=<1 when SIGTERM has
//   the default action>  stdin=<what descriptor 0 is>  fd=<each open fd>
// When $VQ_RECORD_HOLD names a file, it first waits (up to 20 s) for that
// file to exist, so a test can see it running. The record appears whole
// (written beside it, then renamed).
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const char* record = std::getenv("VQ_RECORD_FILE");
  if (record == nullptr) return 2;
  if (const char* hold = std::getenv("VQ_RECORD_HOLD")) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (access(hold, F_OK) != 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
  text += "sid=" + std::to_string(getsid(0)) + "\n";
  text += "pid=" + std::to_string(getpid()) + "\n";
  sigset_t mask;
  sigprocmask(SIG_SETMASK, nullptr, &mask);
  sigset_t none;
  sigemptyset(&none);
  bool blocked = false;
  for (int s = 1; s < NSIG; ++s) blocked = blocked || sigismember(&mask, s) == 1;
  text += std::string("blocked=") + (blocked ? "1" : "0") + "\n";
  struct sigaction action;
  sigaction(SIGTERM, nullptr, &action);
  text += std::string("termdefault=") +
          (action.sa_handler == SIG_DFL ? "1" : "0") + "\n";
  char target[256] = {};
  if (readlink("/proc/self/fd/0", target, sizeof(target) - 1) > 0) {
    text += std::string("stdin=") + target + "\n";
  }
  if (DIR* dir = opendir("/proc/self/fd")) {
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      if (std::atoi(entry->d_name) == own) continue;
      text += std::string("fd=") + entry->d_name + "\n";
    }
    closedir(dir);
  }
  const std::string partial = std::string(record) + ".partial";
  {
    std::ofstream out(partial);
    out << text;
  }
  return std::rename(partial.c_str(), record) == 0 ? 0 : 3;
}
