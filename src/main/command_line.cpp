#include "main/command_line.h"

#include <cstring>

namespace vq_main {

CommandLineChoice chooseAction(int argc, const char* const* argv) {
  CommandLineChoice choice;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr || arg[0] != '-') continue;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      choice.action = CommandLineAction::kShowHelp;
    } else if (std::strcmp(arg, "--version") == 0) {
      choice.action = CommandLineAction::kShowVersion;
    } else if (std::strcmp(arg, "--status") == 0) {
      choice.action = CommandLineAction::kShowStatus;
    } else {
      choice.action = CommandLineAction::kUsageError;
      choice.rejected = arg;
    }
    return choice;
  }
  return choice;
}

}  // namespace vq_main
