#ifndef VQ_TRANSACT_TRANSACTIONAL_EXTERNAL_INTERFACE_H_
#define VQ_TRANSACT_TRANSACTIONAL_EXTERNAL_INTERFACE_H_

#include <string>
#include <vector>

// The only way the transaction engine and its operations reach the
// application. Implemented by ApplicationExternalImplementation over the real
// application and by fakes in tests.
class TransactionalExternalInterface {
 public:
  virtual ~TransactionalExternalInterface() = default;

  // Launches `exe` with `args`; the result carries no meaning.
  virtual int launchProcess(std::string& exe,
                            std::vector<std::string>& args) = 0;
  // Asks the application to quit (also wakes the update thread).
  virtual void setQuit() = 0;
  // Marks the application as upgrading.
  virtual void setUpgrade() = 0;
  // Sets the application variable `name` to `value`.
  virtual void setVariable(const std::string& name,
                           const std::string& value) = 0;
};

#endif  // VQ_TRANSACT_TRANSACTIONAL_EXTERNAL_INTERFACE_H_
