#ifndef VQ_APP_THREAD_EXTERNAL_INTERFACE_H_
#define VQ_APP_THREAD_EXTERNAL_INTERFACE_H_

#include <string>
#include <vector>

class TransactionalExternalInterface;
class VqThread;

// The only way the update engine (update thread, response processor, error
// reporter) reaches the application. Implemented by
// ApplicationExternalImplementation and by fakes in tests.
class ThreadExternalInterface {
 public:
  virtual ~ThreadExternalInterface() = default;

  virtual TransactionalExternalInterface* getTransactionalExternalInterface() = 0;
  virtual void flushLog() = 0;
  // True while the application is upgrading or quitting.
  virtual bool shouldQuit() = 0;
  virtual const char* getBuild() = 0;
  virtual std::vector<std::string>& getDefaultServers() = 0;
  // Fills `out` with the servers to try, in order.
  virtual void getAllServers(std::vector<std::string>& out) = 0;
  virtual long getFeedId() = 0;
  virtual long getAppId() = 0;
  virtual const char* getMachineId() = 0;
  virtual const char* getPlatform() = 0;
  virtual const char* getOS() = 0;
  virtual void threadInit(VqThread* thread) = 0;
  virtual void threadQuit(VqThread* thread) = 0;
  virtual void terminate() = 0;
};

#endif  // VQ_APP_THREAD_EXTERNAL_INTERFACE_H_
