#ifndef VQ_LIFECYCLE_RUNNING_SERVICES_H_
#define VQ_LIFECYCLE_RUNNING_SERVICES_H_

#include <memory>

#include "lifecycle/application_services.h"

class AppCommandServer;
class VqApplication;
class VqThread;

// The update thread and the command server of a started application.
// Destruction stops them in reverse order: the command server first (it
// finishes the replies under way, then stops and removes its address and key
// files), then the thread is asked to exit and joined.
class RunningServices : public ApplicationServices {
 public:
  RunningServices();
  ~RunningServices() override;

  RunningServices(const RunningServices&) = delete;
  RunningServices& operator=(const RunningServices&) = delete;

  // Takes ownership of a running update thread.
  void startUpdateThread(VqThread* thread);
  // Starts the command server on 127.0.0.1 for `application`. Throws a
  // std::string when it cannot start.
  void startCommandServer(VqApplication* application);

  VqThread* thread() const { return thread_.get(); }

 private:
  std::unique_ptr<VqThread> thread_;
  std::unique_ptr<AppCommandServer> commandServer_;
};

#endif  // VQ_LIFECYCLE_RUNNING_SERVICES_H_
