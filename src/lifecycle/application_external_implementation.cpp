#include "lifecycle/application_external_implementation.h"

#include "lifecycle/vq_application.h"
#include "support/vq_exception.h"

ApplicationExternalImplementation::ApplicationExternalImplementation(
    VqApplication* application)
    : application(application) {}

ApplicationExternalImplementation::~ApplicationExternalImplementation() =
    default;

TransactionalExternalInterface*
ApplicationExternalImplementation::getTransactionalExternalInterface() {
  return this;
}

void ApplicationExternalImplementation::flushLog() {}

bool ApplicationExternalImplementation::shouldQuit() {
  // Polled by transfers of documents processed without an application
  // (tests, tools): nothing can ask those to quit.
  return application != nullptr && application->shouldQuit();
}

const char* ApplicationExternalImplementation::getBuild() {
  return application->getBuild();
}

std::vector<std::string>&
ApplicationExternalImplementation::getDefaultServers() {
  return application->getDefaultServers();
}

void ApplicationExternalImplementation::getAllServers(
    std::vector<std::string>& out) {
  application->getAllServers(out);
}

long ApplicationExternalImplementation::getFeedId() {
  return application->getFeedId();
}

long ApplicationExternalImplementation::getAppId() {
  return application->getAppId();
}

const char* ApplicationExternalImplementation::getMachineId() {
  if (application == nullptr) {
    throw VqException(
        "application->getMachineId() called but application==NULL!");
  }
  return application->getMachineId();
}

const char* ApplicationExternalImplementation::getPlatform() {
  return application->getPlatform();
}

const char* ApplicationExternalImplementation::getOS() {
  if (application == nullptr) {
    throw VqException("application->getOS to be called but application==NULL!");
  }
  return application->getOS();
}

void ApplicationExternalImplementation::threadInit(VqThread* thread) {
  application->threadInit(thread);
}

void ApplicationExternalImplementation::threadQuit(VqThread* thread) {
  application->threadQuit(thread);
}

void ApplicationExternalImplementation::terminate() {
  application->terminate();
}

int ApplicationExternalImplementation::launchProcess(
    std::string& exe, std::vector<std::string>& args) {
  return application->launchProcess(exe, args);
}

void ApplicationExternalImplementation::setQuit() {
  application->setQuit(true);
}

void ApplicationExternalImplementation::setUpgrade() {
  application->setUpgrade(true);
}

void ApplicationExternalImplementation::setVariable(const std::string& name,
                                                    const std::string& value) {
  VqApplication::setEnv(name.c_str(), value);
}
