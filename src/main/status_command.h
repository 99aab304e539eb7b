#ifndef VQ_MAIN_STATUS_COMMAND_H_
#define VQ_MAIN_STATUS_COMMAND_H_

namespace vq_main {

// "vqagent --status": prints the status of the current user's agent (the one
// whose data directory `argv0`, the built-in `description` and `vendor` name,
// under $HOME) and returns the exit status: kStatusRunning or
// kStatusNotRunning. Creates nothing. Requires APR to be initialised.
int runStatusCommand(const char* argv0, const char* description,
                     const char* vendor);

}  // namespace vq_main

#endif  // VQ_MAIN_STATUS_COMMAND_H_
