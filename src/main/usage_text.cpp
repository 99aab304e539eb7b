#include "main/usage_text.h"

#include "support/log_text.h"

namespace vq_main {

std::string usageText(const ProductPaths& paths) {
  using vq_support::LogSafe;
  const std::string product =
      paths.identity.name.empty() ? "the product" : LogSafe(paths.identity.name);
  const std::string lockName =
      paths.identity.name.empty() ? "NAME.lock"
                                  : LogSafe(paths.identity.name) + ".lock";
  const std::string dataDir = paths.dataDir.empty()
                                  ? "(unknown: the product has no name)"
                                  : LogSafe(paths.dataDir);
  return "Usage: vqagent [launch]\n"
         "       vqagent version | setstart | trans | proxy URL\n"
         "       vqagent --status | --version | --help\n"
         "\n"
         "The per-user update agent of " + product + ". Without arguments it\n"
         "runs until it is told to quit: on its first run it creates the data\n"
         "directory from the installation's initial data, registers itself to\n"
         "start at login and starts " + product + "; then it asks the update\n"
         "servers for signed action documents, runs them, and serves local\n"
         "programs on 127.0.0.1.\n"
         "\n"
         "Modes (words, in any letter case):\n"
         "  launch      start " + product + ", then run as above\n"
         "  version     print the built-in application description and end\n"
         "  setstart    register the agent to start at login and end\n"
         "  trans       write the pending transaction journal to the log and "
         "end\n"
         "  proxy URL   check the proxy settings for URL and end\n"
         "The modes that end do so with status 1.\n"
         "\n"
         "Options:\n"
         "  --status    tell whether the agent runs for this user, when it\n"
         "              updated and will update next, its servers and its\n"
         "              data directory; status 0 when running, 3 when not\n"
         "  --version   print the version and build\n"
         "  -h, --help  print this text\n"
         "\n"
         "Files, in the data directory\n"
         "  " + dataDir + ":\n"
         "  vq.log            the log (vq.log.1 holds the one before)\n"
         "  vq.server         the command server's address, while running\n"
         "  vq.server.key     the key for commands that change things\n"
         "  vqconnect.xml     the update servers\n"
         "  vqfeed.xml        the feed description sent with each update\n"
         "  .transaction.dat  the journal of an unfinished transaction\n"
         "and beside it " + lockName + ", which the running agent holds\n"
         "(it names the agent's pid).\n"
         "The installation " + LogSafe(paths.layout.dirApp) + "\n"
         "holds vqapplication.xml and initial_data/.\n";
}

std::string versionText(const std::string& version, const std::string& build,
                        const std::string& productName) {
  return "vqagent " + version + " (" +
         (productName.empty() ? "" : vq_support::LogSafe(productName) + ", ") +
         "build " + build + ")\n";
}

}  // namespace vq_main
