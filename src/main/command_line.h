#ifndef VQ_MAIN_COMMAND_LINE_H_
#define VQ_MAIN_COMMAND_LINE_H_

#include <string>

namespace vq_main {

// What the process is asked to do, decided from the arguments alone, before
// anything reads or creates the data directory.
enum class CommandLineAction {
  kRunAgent,     // no option: the agent itself, with its word modes
  kShowHelp,     // --help, -h
  kShowVersion,  // --version
  kShowStatus,   // --status
  kUsageError,   // any other argument starting with "-"
};

struct CommandLineChoice {
  CommandLineAction action = CommandLineAction::kRunAgent;
  // The argument that caused kUsageError.
  std::string rejected;
};

// The first argument (after the program name) that starts with "-" decides;
// later ones are not looked at, just as the word modes ignore words they do
// not know. Without such an argument the agent runs and interprets its word
// modes ("version", "trans", "proxy", "setstart", "launch") itself. The
// argument of "proxy" is a URL and never starts with "-".
CommandLineChoice chooseAction(int argc, const char* const* argv);

}  // namespace vq_main

#endif  // VQ_MAIN_COMMAND_LINE_H_
