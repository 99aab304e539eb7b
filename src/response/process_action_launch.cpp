// The "launch" action: a program started at commit when its if-tests allow.

#include <log4cpp/Category.hh>
#include <tinyxml.h>

#include <memory>
#include <string>
#include <vector>

#include "response/vq_response_processor.h"
#include "response/xml_text.h"
#include "rpn/rpn_path.h"
#include "support/apr_utils.h"
#include "support/bounded_xml.h"
#include "support/log_text.h"
#include "support/source_location.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_launch.h"

bool VqResponseProcessor::launchTestHolds(TiXmlElement* launch,
                                          TiXmlElement* test) {
  const bool debug = logger.isDebugEnabled();
  if (debug) logger.debug("if: " + vq_support::LogSafeBody(nodeAsXml(*test)));
  const char* filename = test->Attribute("filename");
  if (!filename) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(1), kErrLaunchIfNoFilename,
                      "launch if test has no filename attribute in launch "
                      "command %s (%s:%d)",
                      nodeAsXml(*launch).c_str(), VQ_SOURCE_FILE, __LINE__);
  }
  const std::string file = expand(filename);
  // The file as it is now: operations of this transaction have not run yet.
  // A file that cannot be opened counts as missing; one that is not a
  // regular file (a FIFO would block, a device never ends) or is too large
  // fails the test like a file that does not parse.
  TiXmlDocument document;
  std::string why;
  vq_support::FileReadStatus status = vq_support::FileReadStatus::kRead;
  if (!loadBoundedXmlFile(document, file.c_str(), &why, XmlBounds(),
                          &status)) {
    if (status == vq_support::FileReadStatus::kMissing ||
        status == vq_support::FileReadStatus::kFailed) {
      if (debug) {
        logger.debug("file " + file + " not found for if test (" +
                     vq_support::LogSafeBody(nodeAsXml(*test)) + ")");
      }
      return false;
    }
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(1), kErrLaunchParse,
                      "Parsing of XML file %s failed: %s (%s:%d)",
                      file.c_str(), why.c_str(), VQ_SOURCE_FILE, __LINE__);
  }
  const char* rpn = test->Attribute("rpn");
  if (!rpn) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(1), kErrLaunchIfNoRpn,
                      "No rpn attribute in launch if test in launch command "
                      "%s (%s:%d)",
                      nodeAsXml(*launch).c_str(), VQ_SOURCE_FILE, __LINE__);
  }
  std::vector<TiXmlNode*> selected;
  try {
    RpnPath path;
    path.parse(expand(rpn).c_str());
    path.filter(&document, selected);
  } catch (const std::string& error) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(1), kErrLaunchRpn,
                      "Rpn error encountered in launch command %s : %s "
                      "(%s:%d)",
                      nodeAsXml(*launch).c_str(), error.c_str(),
                      VQ_SOURCE_FILE, __LINE__);
  }
  const bool holds = !selected.empty();
  if (debug) {
    logger.debug("if test (" + vq_support::LogSafeBody(nodeAsXml(*test)) +
                 ") = " +
                 (holds ? "true" : "false"));
  }
  return holds;
}

void VqResponseProcessor::ProcessActionLaunch(TiXmlElement* element,
                                              TransactionEngine& engine) {
  bool allowed = true;
  if (!element->FirstChildElement("if")) {
    logger.debug("no if tests on the launch");
  } else {
    if (logger.isDebugEnabled()) {
      logger.debug("if tests on launch command: " +
                   vq_support::LogSafeBody(nodeAsXml(*element)));
    }
    // The tests are joined by "or": the first that holds ends the testing,
    // so later ones are not even checked for missing attributes.
    allowed = false;
    for (TiXmlElement* test = element->FirstChildElement("if");
         test && !allowed; test = test->NextSiblingElement("if")) {
      allowed = launchTestHolds(element, test);
    }
    logger.debug(std::string("if tests passed: ") +
                 (allowed ? "true" : "false"));
  }
  if (!allowed) {
    logger.debug("launch skipped because if tests failed");
    return;
  }
  logger.debug("either no if tests, or if tests passed");

  auto launch = std::make_unique<TransactionalLaunch>(pool);
  if (const TiXmlElement* command = element->FirstChildElement("command")) {
    launch->setCommand(expand(command->GetText()));
  }
  for (const TiXmlElement* arg = element->FirstChildElement("arg"); arg;
       arg = arg->NextSiblingElement("arg")) {
    launch->addArgument(expand(arg->GetText()));
  }
  engine << launch.release();
}
