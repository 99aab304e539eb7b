// The command server over the application: Mongoose answers local programs
// and reaches the application through CommandTarget.

#include <log4cpp/Category.hh>

#include "cmdserver/command_target.h"
#include "cmdserver/mongoose.h"
#include "lifecycle/command_server.h"
#include "lifecycle/vq_application.h"

namespace {

// Every call is safe on several threads at once: the variables are guarded
// by their own lock, the flags are atomic, and each submitted document runs
// under the process-wide transaction lock in a pool of its own.
class ApplicationCommandTarget : public CommandTarget {
 public:
  explicit ApplicationCommandTarget(VqApplication* application)
      : application_(application) {}

  std::string applicationXml() const override {
    return application_->getAppXml();
  }
  void updateNow() override { application_->updateNow(); }
  void setQuit(bool quit) override { application_->setQuit(quit); }
  std::string getEnv(const std::string& name) override {
    return VqApplication::getEnv(name);
  }
  void setEnv(const std::string& name, const std::string& value) override {
    VqApplication::setEnv(name.c_str(), value);
  }
  std::map<std::string, std::string> getEnvMap() override {
    return VqApplication::getEnvMap();
  }
  std::string pathInDataDir(const std::string& tested) override {
    return application_->pathInDataDir(tested.c_str());
  }
  void processTransactions(const std::string& xml) override {
    application_->processTransactions(xml);
  }
  void setStartItem() override { application_->setStartItem(); }
  void launchSwf() override { application_->launchSwf(); }
  int launchProcess(std::string& exe,
                    std::vector<std::string>& args) override {
    return application_->launchProcess(exe, args);
  }

 private:
  VqApplication* application_;
};

}  // namespace

struct AppCommandServer::Impl {
  explicit Impl(VqApplication* application)
      : target(application), server(application->getPool(), &target) {}

  ApplicationCommandTarget target;  // outlives the server that calls it
  Mongoose server;
};

AppCommandServer::AppCommandServer(VqApplication* application)
    : impl_(std::make_unique<Impl>(application)) {}

AppCommandServer::~AppCommandServer() = default;
