// The application's own start-up steps after construction: logging, journal
// recovery and command-line modes (init), the services (start), and action
// documents submitted by local programs.

#include <strings.h>
#include <tinyxml.h>

#include <memory>
#include <string>

#include <log4cpp/Category.hh>

#include "engine/vq_thread.h"
#include "app/application_log.h"
#include "host/heap_release.h"
#include "lifecycle/application_external_implementation.h"
#include "lifecycle/running_services.h"
#include "lifecycle/vq_application.h"
#include "response/vq_response_processor.h"
#include "support/apr_pool.h"
#include "support/bounded_xml.h"
#include "support/http_query_string.h"
#include "support/log_text.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "web/proxy_details.h"

int VqApplication::init() {
  configureLogging(LOG_CATEGORY, "vq.log");
  {
    ApplicationExternalImplementation external(this);
    TransactionEngine::init(&external, pool_.get());
  }
  for (size_t i = 1; i < args_.size(); ++i) {
    const char* argument = args_[i].c_str();
    if (strcasecmp(argument, "trans") == 0) {
      logApplicationDebug("Transaction debug file");
      TransactionEngine::debugFile(nullptr, pool_.get());
      return 1;
    }
    if (strcasecmp(argument, "proxy") == 0) {
      ProxyDetails::checkProxy(args_.size() > 2 ? args_[2].c_str() : nullptr);
    }
    if (strcasecmp(argument, "setstart") == 0) {
      setStartItem();
      return 1;
    }
    if (strcasecmp(argument, "launch") == 0) launchSwf();
  }
  return isUpgrading() ? 1 : 0;
}

int VqApplication::start(VqHostCallback* host) {
  if (host != nullptr) host_ = host;
  // Process-wide allocator settings, before any service thread allocates:
  // the heaps those threads get depend on them.
  host::tuneHeapForLongRunning();
  auto services = std::make_unique<RunningServices>();
  // The command server starts first: the first update pass runs at once, and
  // a program it launches must be given the server's address
  // ("mongoose.host"), not the unexpanded reference. A wake that arrives
  // before the thread exists finds no waker and the first pass is due
  // anyway.
  logApplicationDebug("Vqpplication.start: starting Mongoose");
  services->startCommandServer(this);
  logApplicationDebug("Vqpplication.start: started Mongoose");
  services->startUpdateThread(
      new VqThread(new ApplicationExternalImplementation(this), pool_.get()));
  VqThread* thread = services->thread();
  setUpdateWaker([thread] { thread->update(); });
  setServices(std::move(services));
  return 0;
}

void VqApplication::processTransactions(const std::string& xml) {
  log4cpp::Category* log = VqApplication::getLog();
  if (log != nullptr && log->isDebugEnabled()) {
    // The document comes from a local request: one log line, no secret.
    log->debug("processTransactions() : xml = [" +
               vq_support::LogSafeBody(
                   http::QueryString::redactKeyParameter(xml)) +
               "]");
  }
  TiXmlDocument document;
  std::string why;
  if (!loadBoundedXml(document, xml.c_str(), xml.size(), &why) ||
      document.RootElement() == nullptr) {
    if (why.empty()) why = "no root element";
    throw VqException("mongoose", VqException::ZONE_CLIENT,
                      VqException::SEVERITY_LOW, kErrResponseXmlParse,
                      "XML parsing of XML failed: %s", why.c_str());
  }
  TiXmlElement* root = document.RootElement();
  if (strcasecmp(root->Value(), "vq") != 0) {
    throw VqException("mongoose", VqException::ZONE_CLIENT,
                      VqException::SEVERITY_LOW, kErrNotVqRoot,
                      std::string("Submitted XML is not a vq root node."));
  }
  // A pool of its own per document: the root pool is not safe to allocate
  // from on several command threads at once, and would otherwise grow with
  // every submitted document.
  apr::Pool documentPool;
  ApplicationExternalImplementation external(this);
  VqResponseProcessor processor(documentPool, &external, "mongoose");
  processor.processTransactions(root, nullptr);
}
