#ifndef VQ_HOST_DETACHED_PROCESS_H_
#define VQ_HOST_DETACHED_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace host {

// What became of one attempt to start a program.
struct SpawnOutcome {
  // 0 when the program was started, else an errno value (ENOENT, EACCES...).
  int error = 0;
  // The started process, valid only when `error` is 0.
  pid_t pid = -1;
};

// Starts `program` with exactly `argv` (argv[0] included) and the agent's
// environment, and returns at once: the calling thread never waits for the
// program. The child:
//   - runs in a new session, so it has no controlling terminal and neither a
//     Ctrl-C at the agent's terminal nor the agent's end reaches it;
//   - starts with an empty signal mask and default signal dispositions,
//     whatever the agent blocks or ignores;
//   - reads standard input from /dev/null, keeps standard output and error,
//     and inherits no other descriptor (log files, listening sockets);
// A detached thread collects the child's exit status when it ends, so no
// zombie stays behind even when the agent does not ignore SIGCHLD.
//
// `searchPath` looks a program name without a slash up in PATH; otherwise a
// relative `program` is taken relative to the working directory. Texts with
// an embedded NUL cannot be passed to a program: the result is EINVAL.
SpawnOutcome spawnDetached(const std::string& program,
                           const std::vector<std::string>& argv,
                           bool searchPath = false);

}  // namespace host

#endif  // VQ_HOST_DETACHED_PROCESS_H_
