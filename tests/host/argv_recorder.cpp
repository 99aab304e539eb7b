// Launch tests start this: it writes its argv, session, signal state, stdin
// and descriptors beyond 2 as "key=value" lines to $VQ_RECORD_FILE, written
// whole, by rename.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const char* record = std::getenv("VQ_RECORD_FILE");
  if (record == nullptr) return 2;
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
  sigset_t mask;
  sigprocmask(SIG_SETMASK, nullptr, &mask);
  struct sigaction term;
  sigaction(SIGTERM, nullptr, &term);
  text += "sid=" + std::to_string(getsid(0)) + "\nblocked=" +
          (sigisemptyset(&mask) ? "0" : "1") + "\ntermdefault=" +
          (term.sa_handler == SIG_DFL ? "1" : "0") + "\n";
  char target[256] = {};
  if (readlink("/proc/self/fd/0", target, sizeof(target) - 1) > 0) {
    text += std::string("stdin=") + target + "\n";
  }
  for (int fd = 3; fd < 1024; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) text += "fd=" + std::to_string(fd) + "\n";
  }
  const std::string partial = std::string(record) + ".partial";
  std::ofstream(partial) << text;
  return std::rename(partial.c_str(), record) == 0 ? 0 : 3;
}
