// The actions that need no file work before the transaction: delete, set,
// quit, error, upgrade and crash.

#include <log4cpp/Category.hh>
#include <tinyxml.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/application_variables.h"
#include "app/data_directory_path.h"
#include "response/vq_response_processor.h"
#include "response/xml_text.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_crash.h"
#include "transact/transactional_file_delete.h"
#include "transact/transactional_quit.h"
#include "transact/transactional_set_application_env.h"

void VqResponseProcessor::ProcessActionDelete(TiXmlElement* element,
                                              TransactionEngine& engine) {
  const char* filename = element->Attribute("filename");
  if (!filename) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrDeleteNoFilename,
                      "Element is: %s", nodeAsXml(*element).c_str());
  }
  const std::string expanded = expand(filename);
  // Only files of the data directory may be deleted; "..", absolute paths
  // elsewhere and sibling directories sharing its name as a prefix are
  // refused.
  const std::string resolved = resolveInDataDir(
      ApplicationVariables::get(ApplicationVariables::DIR_DATA),
      expanded.c_str(), pool);
  if (resolved.empty()) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrDeleteOutsideDataDir,
                      "Element is: %s, filename is: %s",
                      nodeAsXml(*element).c_str(), expanded.c_str());
  }
  auto remove = std::make_unique<TransactionalFileDelete>(pool);
  remove->setDeleteFilename(resolved);
  engine << remove.release();
}

void VqResponseProcessor::ProcessActionSet(TiXmlElement* element,
                                           TransactionEngine& engine) {
  const char* name = element->Attribute("name");
  if (!name) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrSetNoName,
                      "Element is missing name attribute: %s",
                      nodeAsXml(*element).c_str());
  }
  const char* value = element->Attribute("value");
  engine << std::make_unique<TransactionalSetApplicationEnv>(
                pool, name, value ? value : "")
                .release();
}

void VqResponseProcessor::ProcessActionQuit(TiXmlElement* /*element*/,
                                            TransactionEngine& engine) {
  engine << std::make_unique<TransactionalQuit>(pool).release();
}

void VqResponseProcessor::ProcessActionError(TiXmlElement* element,
                                             TransactionEngine& /*engine*/) {
  int zone = 0;
  int severity = 1;
  int code = kErrErrorActionDefault;
  // An absent or non-numeric attribute keeps its default.
  element->QueryIntAttribute("zone", &zone);
  element->QueryIntAttribute("severity", &severity);
  element->QueryIntAttribute("code", &code);
  const char* description = element->Attribute("description");
  if (!description) {
    // Deliberately not a VqException: a malformed error action ends the
    // whole document.
    throw std::logic_error("error element has no description: " +
                           nodeAsXml(*element));
  }
  throw VqException(url.c_str(), VqException::zone(zone),
                    VqException::severity(severity), VqException::code(code),
                    "Error: %s", description);
}

void VqResponseProcessor::ProcessActionUpgrade(TiXmlElement* /*element*/,
                                               TransactionEngine& /*engine*/) {
  logger.warn("ProcessActionUpgrade is deprecated.");
}

void VqResponseProcessor::ProcessActionCrash(TiXmlElement* element,
                                             TransactionEngine& engine) {
  auto crash = std::make_unique<TransactionalCrash>(pool);
  if (const TiXmlElement* stage = element->FirstChildElement("stage")) {
    const char* text = stage->GetText();
    crash->setStage(text ? std::atoi(text) : 0);
  }
  engine << crash.release();
}
