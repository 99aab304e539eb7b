#ifndef VQ_CMDSERVER_COMMAND_TARGET_H_
#define VQ_CMDSERVER_COMMAND_TARGET_H_

#include <map>
#include <string>
#include <vector>

// What the command server asks of the application. The server's worker
// threads call these several at once, so every operation must be safe to call
// concurrently with itself and the others.
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;

  // The built-in application description (an XML element), sent as is.
  virtual std::string applicationXml() const = 0;
  // Wakes the update thread for an immediate pass.
  virtual void updateNow() = 0;
  // Asks the agent to quit (or not).
  virtual void setQuit(bool quit) = 0;

  // Application variables. getEnv of a name that was never set answers the
  // empty text and enters nothing, so keyless requests cannot grow the map.
  virtual std::string getEnv(const std::string& name) = 0;
  virtual void setEnv(const std::string& name, const std::string& value) = 0;
  // A snapshot of every variable, ordered by name.
  virtual std::map<std::string, std::string> getEnvMap() = 0;

  // `tested` resolved inside the data directory, or the empty text when it
  // lies outside.
  virtual std::string pathInDataDir(const std::string& tested) = 0;
  // Runs a submitted action document. Failures are thrown as
  // std::exception (VqException included) or as a std::string text.
  virtual void processTransactions(const std::string& xml) = 0;
  // Registers the agent to start at login; the outcome is not reported.
  virtual void setStartItem() = 0;
  // Launches the delivered application.
  virtual void launchSwf() = 0;
  // Opens `args`' first entry with the rest as its arguments (an empty `exe`
  // lets the host choose). May modify both. Returns the host's result.
  virtual int launchProcess(std::string& exe,
                            std::vector<std::string>& args) = 0;
};

#endif  // VQ_CMDSERVER_COMMAND_TARGET_H_
