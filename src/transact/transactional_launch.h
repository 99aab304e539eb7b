#ifndef VQ_TRANSACT_TRANSACTIONAL_LAUNCH_H_
#define VQ_TRANSACT_TRANSACTIONAL_LAUNCH_H_

#include <string>
#include <vector>

#include "transact/transactional_commit_only.h"

// Launches a program when the transaction commits (serial 6). Journalled as
// the command, the argument count and each argument.
class TransactionalLaunch : public TransactionalCommitOnly {
 public:
  static constexpr int kSerial = 6;

  explicit TransactionalLaunch(apr_pool_t* pool);

  void setCommand(const std::string& text) { command = text; }
  void addArgument(const std::string& argument) {
    arguments.push_back(argument);
  }
  const std::string& getCommand() const { return command; }
  const std::vector<std::string>& getArguments() const { return arguments; }

  void commit() override;
  int getSerial() override { return kSerial; }
  void debug() override;
  std::string debugString() override;
  std::ostream& store(std::ostream& out) const override;
  std::istream& restore(std::istream& in) override;

 private:
  std::string command;
  std::vector<std::string> arguments;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_LAUNCH_H_
