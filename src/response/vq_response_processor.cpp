#include "response/vq_response_processor.h"

#include <apr_time.h>
#include <log4cpp/Category.hh>
#include <strings.h>
#include <tinyxml.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/application_variables.h"
#include "app/thread_external_interface.h"
#include "response/exception_report_interface.h"
#include "response/xml_text.h"
#include "support/bounded_xml.h"
#include "support/log_text.h"
#include "support/source_location.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "web/answer_protocol.h"
#include "web/ssl_crypto.h"
#include "web/web.h"

namespace {

constexpr double kDocumentVersion = 2.0;

}  // namespace

VqResponseProcessor::VqResponseProcessor(
    apr_pool_t* pool, ThreadExternalInterface* threadExternal,
    const char* originatingUrl)
    : logger(log4cpp::Category::getInstance(LOG_CATEGORY)),
      pool(pool),
      threadExternal(threadExternal),
      url(originatingUrl ? originatingUrl : "") {
  expander.add(ApplicationVariables::getMap());
  if (threadExternal) {
    cancelled_ = [threadExternal] { return threadExternal->shouldQuit(); };
  }
}

VqResponseProcessor::~VqResponseProcessor() = default;

long VqResponseProcessor::updateSeconds() const {
  return update == -1 ? kDefaultUpdateSeconds : update;
}

std::string VqResponseProcessor::expand(const char* text) {
  return expander.parse(text ? text : "");
}

void VqResponseProcessor::process(Web& response,
                                  ExceptionReportInterface* reporter,
                                  bool requireSignature) {
  const char* text = response.c_str();
  // The signature covers the text up to its first NUL, which is also all
  // that the parser reads.
  const std::size_t length = std::strlen(text);
  const std::string_view body(text, length);
  if (logger.isDebugEnabled()) {
    logger.debug("process(..): [" + vq_support::LogSafeBody(body) + "]");
    if (threadExternal) threadExternal->flushLog();
  }

  // The signature is checked before parsing (a linear digest of the text)
  // so that an answer anyone on the path could have sent is never parsed
  // beyond the small bounds; only a verified answer gets the full ones.
  // The codes keep their order: an unsigned answer that parses is still
  // refused with 5 or 10 before 245 or 250.
  const char* signature =
      requireSignature ? response.getHeader(SIGNATURE_HEADER) : nullptr;
  const bool verified =
      !requireSignature ||
      (signature && ssl_checkClientSignedHeader(text, length, signature, pool));

  TiXmlDocument document;
  std::string why;
  const bool parsed =
      loadBoundedXml(document, text, length, &why,
                     verified ? XmlBounds() : untrustedXmlBounds());
  if (!parsed || !document.RootElement()) {
    if (parsed) why = "no root element";
    logger.warn("XML parsing of server response XML failed: " + why);
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(1), kErrResponseXmlParse,
                      "XML parsing of server response XML failed: %s",
                      why.c_str());
  }

  // Messages quote the answer, cut like a log line.
  const std::string quoted = vq_support::LogSafeBody(body);
  TiXmlElement* root = document.RootElement();
  if (strcasecmp(root->Value(), "vq") != 0) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrNotVqRoot,
                      "Server returned: %s (%s:%d)", quoted.c_str(),
                      VQ_SOURCE_FILE, __LINE__);
  }
  double version = 0;
  if (root->QueryDoubleAttribute("version", &version) != TIXML_SUCCESS ||
      version != kDocumentVersion) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrBadVersion,
                      "Server returned: %s (%s:%d)", quoted.c_str(),
                      VQ_SOURCE_FILE, __LINE__);
  }

  if (requireSignature) {
    if (!signature) {
      logger.error("No vq signature header found.");
      throw VqException(url.c_str(), VqException::zone(1),
                        VqException::severity(2), kErrNoSignatureHeader,
                        "No VQ signature header xxx-vq-sig found");
    }
    if (!verified) {
      logger.error(std::string("VQ signature verification failed for sig=") +
                   vq_support::LogSafe(signature));
      throw VqException(url.c_str(), VqException::zone(1),
                        VqException::severity(2), kErrSignatureMismatch,
                        "VQ signature verification failed for sig=%s",
                        signature);
    }
    logger.debug("VQ signature verification succeeded");
    if (freshness) {
      checkAnswerFreshness(
          *freshness, url, std::string_view(text, length),
          root->Attribute(vq_answer::kExpiresAttribute),
          response.getHeader(vq_answer::kSecondSignatureHeader),
          apr_time_sec(apr_time_now()), pool, logger);
    }
  }

  // Read before any transaction runs, so the interval holds even when they
  // fail.
  const char* interval = root->Attribute("update");
  update = interval ? std::atol(interval) : -1;

  processTransactions(root, reporter);
}

void VqResponseProcessor::processTransactions(
    TiXmlElement* root, ExceptionReportInterface* reporter) {
  if (!root) return;
  bool failed = false;
  for (TiXmlElement* transaction = root->FirstChildElement("transaction");
       transaction;
       transaction = transaction->NextSiblingElement("transaction")) {
    if (logger.isDebugEnabled()) {
      logger.debug("Processing transaction: " +
                   vq_support::LogSafeBody(nodeAsXml(*transaction)));
    }
    const char* noerrors = transaction->Attribute("noerrors");
    if (failed && noerrors && strcasecmp(noerrors, "true") == 0) {
      if (logger.isDebugEnabled()) {
        logger.debug(std::string("Transaction skipped because errors have "
                                 "been encountered, and noerrors attribute "
                                 "is ") +
                     noerrors);
      }
      continue;
    }
    if (runTransaction(transaction, reporter)) continue;
    failed = true;
    const char* onFailure = transaction->Attribute("onFailure");
    if (onFailure && std::strcmp(onFailure, "break") == 0) return;
  }
}

bool VqResponseProcessor::runTransaction(TiXmlElement* transaction,
                                         ExceptionReportInterface* reporter) {
  TransactionEngine engine(
      threadExternal ? threadExternal->getTransactionalExternalInterface()
                     : nullptr,
      pool);
  // Takes the process-wide lock: transactions of different documents never
  // interleave.
  engine.clear(true);

  // Cleans up the operations collected so far (removing their temporary
  // files) and releases the lock. A failure here must not hide the
  // exception that abandoned the transaction.
  auto abandon = [&]() {
    try {
      engine.cleanupTransaction();
    } catch (const std::exception& e) {
      logger.error(std::string("Cleanup of abandoned transaction failed: ") +
                   e.what());
    }
  };

  try {
    for (TiXmlElement* action = transaction->FirstChildElement(); action;
         action = action->NextSiblingElement()) {
      dispatchAction(action, engine);
    }
    if (engine.executeTransaction()) return true;
    if (logger.isDebugEnabled()) {
      const char* onFailure = transaction->Attribute("onFailure");
      logger.debug(std::string("Transaction executeTransaction failed. "
                               "onFailure=") +
                   (onFailure ? onFailure : "NULL"));
      if (threadExternal) threadExternal->flushLog();
    }
    return false;
  } catch (VqException& e) {
    logger.error(std::string("VqException encountered during transaction "
                             "preparation: ") +
                 e.what() + " (" + VQ_SOURCE_LOCATION + ")");
    engine.debug();
    abandon();
    if (reporter) reporter->report(e);
    return false;
  } catch (TransactionException& e) {
    logger.error(std::string("TransactionException encountered during "
                             "transaction preparation: ") +
                 e.what() + " (" + VQ_SOURCE_LOCATION + ")");
    engine.debug();
    abandon();
    // A transaction the engine could not make safe (its journal or backups
    // failed) must never pass for a success: without a reporter to tell,
    // the caller hears of it (the command server answers 500).
    if (!reporter) throw;
    VqException report(url.c_str(), std::string(e.what()));
    reporter->report(report);
    return false;
  } catch (...) {
    // Errors of the path language and of the standard library end the
    // whole document; the temporary files of this transaction go first.
    abandon();
    throw;
  }
}

void VqResponseProcessor::dispatchAction(TiXmlElement* element,
                                         TransactionEngine& engine) {
  using Handler = void (VqResponseProcessor::*)(TiXmlElement*,
                                                TransactionEngine&);
  struct Entry {
    const char* name;
    Handler handler;
  };
  // "crash" is deliberately absent: a document can never stop the agent.
  static const Entry kActions[] = {
      {"delete", &VqResponseProcessor::ProcessActionDelete},
      {"error", &VqResponseProcessor::ProcessActionError},
      {"launch", &VqResponseProcessor::ProcessActionLaunch},
      {"quit", &VqResponseProcessor::ProcessActionQuit},
      {"set", &VqResponseProcessor::ProcessActionSet},
      {"upgrade", &VqResponseProcessor::ProcessActionUpgrade},
      {"web", &VqResponseProcessor::ProcessActionWeb},
      {"write", &VqResponseProcessor::ProcessActionWrite},
      {"xmledit", &VqResponseProcessor::ProcessActionXmlEdit},
  };
  for (const Entry& entry : kActions) {
    if (std::strcmp(element->Value(), entry.name) == 0) {
      (this->*entry.handler)(element, engine);
      return;
    }
  }
}
