#include "main/status_report.h"

#include <sstream>

#include "support/log_text.h"
#include "support/path.h"
#include "transact/transaction_engine.h"

namespace vq_main {
namespace {

using vq_support::LogSafe;

class Lines {
 public:
  void add(const std::string& label, const std::string& value) {
    out_ << label << ':' << std::string(kValueColumn - label.size() - 1, ' ')
         << value << '\n';
  }
  // Further values of the line above, aligned under its value.
  void more(const std::string& value) {
    out_ << std::string(kValueColumn, ' ') << value << '\n';
  }
  std::string text() const { return out_.str(); }

 private:
  static constexpr std::size_t kValueColumn = 21;
  std::ostringstream out_;
};

std::string agentLine(const AgentStatus& status) {
  if (status.running) {
    return status.lockPid ? "running, pid " + std::to_string(*status.lockPid)
                          : "running";
  }
  switch (status.addressFile) {
    case AgentStatus::AddressFile::kPresent:
      return "not running (nothing answers at " + status.address +
             ", the address in " + kServerAddressFile +
             "; an agent may be starting, or one ended without cleaning up)";
    case AgentStatus::AddressFile::kMalformed:
      return std::string("not running (") + kServerAddressFile +
             " does not hold an address this agent writes)";
    case AgentStatus::AddressFile::kAbsent:
      break;
  }
  return "not running";
}

void addUpdateLines(const AgentStatus& status, const std::string& log,
                    Lines* lines) {
  if (!status.running) {
    lines->add("Last update", "unknown (only a running agent can tell)");
    lines->add("Next update", "when the agent starts");
    return;
  }
  lines->add("Last update", status.lastUpdate.empty()
                                ? "none since the agent started"
                                : LogSafe(status.lastUpdate));
  if (status.updateResult == "failed") {
    lines->add("Latest attempt", "failed (see " + log + ")");
  } else if (!status.updateResult.empty()) {
    lines->add("Latest attempt", LogSafe(status.updateResult));
  }
  lines->add("Next update", status.nextUpdate.empty()
                                ? "not scheduled yet (an update is running)"
                                : LogSafe(status.nextUpdate));
  if (!status.passCount.empty()) {
    lines->add("Update passes",
               LogSafe(status.passCount) + " since the agent started");
  }
}

void addServerLines(const AgentStatus& status, Lines* lines) {
  if (status.servers.empty()) {
    lines->add("Update servers", "none");
    return;
  }
  lines->add("Update servers", LogSafe(status.servers.front()));
  for (std::size_t i = 1; i < status.servers.size(); ++i) {
    lines->more(LogSafe(status.servers[i]));
  }
  if (!status.serversFromAgent) {
    lines->more("(from vqconnect.xml and the built-in list)");
  }
}

std::string transactionLine(const AgentStatus& status) {
  if (!status.transactionPending) return "none pending";
  if (status.running) return "one is running now";
  return std::string("pending: ") + TransactionEngine::transactionDb +
         " will be completed or rolled back when the agent next starts";
}

}  // namespace

std::string formatStatus(const AgentStatus& status) {
  Lines lines;
  const std::string product =
      status.productName.empty() ? "the product" : LogSafe(status.productName);
  const std::string title = "Update agent of " + product + "\n";
  lines.add("Agent", agentLine(status));
  if (status.running) {
    lines.add("Command server", "http://" + status.address + "/");
  }
  if (status.dataDir.empty()) {
    lines.add("Data directory",
              "unknown (the built-in description names no product)");
    return title + lines.text();
  }
  const std::string log = (path(status.dataDir) << kLogFile).str();
  addUpdateLines(status, LogSafe(log), &lines);
  addServerLines(status, &lines);
  lines.add("Data directory",
            LogSafe(status.dataDir) +
                (status.dataDirExists
                     ? ""
                     : " (not created yet: the agent has not run for this "
                       "user)"));
  if (status.dataDirExists) lines.add("Log", LogSafe(log));
  lines.add("Transaction", transactionLine(status));
  return title + lines.text();
}

int statusExitCode(const AgentStatus& status) {
  return status.running ? kStatusRunning : kStatusNotRunning;
}

}  // namespace vq_main
