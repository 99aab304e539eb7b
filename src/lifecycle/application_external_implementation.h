#ifndef VQ_LIFECYCLE_APPLICATION_EXTERNAL_IMPLEMENTATION_H_
#define VQ_LIFECYCLE_APPLICATION_EXTERNAL_IMPLEMENTATION_H_

#include <string>
#include <vector>

#include "app/thread_external_interface.h"
#include "transact/transactional_external_interface.h"

class VqApplication;

// Both external interfaces over one VqApplication, which it does not own.
// Cheap to create: the application makes temporary ones on the stack and one
// for the update thread. Every call forwards to the application;
// getMachineId and getOS refuse a null application with a VqException (code
// 110), the other calls require a non-null one.
class ApplicationExternalImplementation
    : public ThreadExternalInterface,
      public TransactionalExternalInterface {
 public:
  explicit ApplicationExternalImplementation(VqApplication* application);
  ~ApplicationExternalImplementation() override;

  // ThreadExternalInterface.
  TransactionalExternalInterface* getTransactionalExternalInterface() override;
  // Nothing to do: every appender writes through at once.
  void flushLog() override;
  bool shouldQuit() override;
  const char* getBuild() override;
  std::vector<std::string>& getDefaultServers() override;
  void getAllServers(std::vector<std::string>& out) override;
  long getFeedId() override;
  long getAppId() override;
  const char* getMachineId() override;
  const char* getPlatform() override;
  const char* getOS() override;
  void threadInit(VqThread* thread) override;
  void threadQuit(VqThread* thread) override;
  void terminate() override;

  // TransactionalExternalInterface.
  int launchProcess(std::string& exe, std::vector<std::string>& args) override;
  // Sets the application's quitting flag and wakes the update thread.
  void setQuit() override;
  void setUpgrade() override;
  // Sets the process-wide variable; needs no application.
  void setVariable(const std::string& name, const std::string& value) override;

 private:
  VqApplication* application;
};

#endif  // VQ_LIFECYCLE_APPLICATION_EXTERNAL_IMPLEMENTATION_H_
