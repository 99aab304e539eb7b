#ifndef VQ_MAIN_STATUS_REPORT_H_
#define VQ_MAIN_STATUS_REPORT_H_

#include <string>

#include "main/agent_status.h"

namespace vq_main {

// Exit status of "--status", as service tools use it.
constexpr int kStatusRunning = 0;
constexpr int kStatusNotRunning = 3;

// A few lines for a person, one fact per line ("Label: value"). Every text
// that came from a file or from the agent has its control characters escaped
// and is cut, so what a file holds cannot move the cursor or forge lines.
std::string formatStatus(const AgentStatus& status);

int statusExitCode(const AgentStatus& status);

}  // namespace vq_main

#endif  // VQ_MAIN_STATUS_REPORT_H_
