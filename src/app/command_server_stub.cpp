// Stand-in used while no command server library is part of the build: the
// agent runs without its local interface.

#include <log4cpp/Category.hh>

#include "app/command_server.h"
#include "app/vq_application.h"

struct AppCommandServer::Impl {};

AppCommandServer::AppCommandServer(VqApplication* /*application*/) {
  log4cpp::Category* log = VqApplication::getLog();
  if (log != nullptr) {
    log->warn("This build has no command server; local programs cannot "
              "reach the agent.");
  }
}

AppCommandServer::~AppCommandServer() = default;
