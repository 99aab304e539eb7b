// The "xmledit" action: an XML file of the data directory edited through
// path expressions and replaced as a whole when the transaction executes.

#include <apr_file_io.h>
#include <log4cpp/Category.hh>
#include <tinyxml.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "response/action_permissions.h"
#include "response/vq_response_processor.h"
#include "response/xml_edit_command.h"
#include "response/xml_text.h"
#include "rpn/rpn_path.h"
#include "support/apr_file.h"
#include "support/apr_utils.h"
#include "support/bounded_xml.h"
#include "support/log_text.h"
#include "support/source_location.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_file_move.h"

namespace {

// Number of elements from the top of the document down to `element`,
// itself included.
std::size_t elementLevel(const TiXmlElement& element) {
  std::size_t level = 0;
  for (const TiXmlNode* node = &element; node && node->ToElement();
       node = node->Parent()) {
    ++level;
  }
  return level;
}

// Levels of elements in the subtree of `element`, itself included; without
// recursion, since the subtree comes from outside.
std::size_t elementDepth(const TiXmlElement& element) {
  std::size_t deepest = 0;
  std::vector<std::pair<const TiXmlNode*, std::size_t>> pending{{&element, 1}};
  while (!pending.empty()) {
    const auto [node, level] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, level);
    for (const TiXmlNode* child = node->FirstChild(); child;
         child = child->NextSibling()) {
      if (child->ToElement()) pending.emplace_back(child, level + 1);
    }
  }
  return deepest;
}

}  // namespace

void VqResponseProcessor::ProcessActionXmlEdit(TiXmlElement* element,
                                               TransactionEngine& engine) {
  // Per-command tracing goes to its own category, and only when the
  // processor's debug output is on.
  log4cpp::Category* trace = nullptr;
  if (logger.isDebugEnabled()) {
    trace = &log4cpp::Category::getInstance(std::string(LOG_CATEGORY) +
                                            ".xmledit");
    trace->debug("xmlEdit: " + vq_support::LogSafeBody(nodeAsXml(*element)));
  }
  if (std::strcmp(element->Value(), "xmledit") != 0) {
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(2), kErrXmlEditBadNodeName,
                      "XmlEdit::process - xmledit node name must be xmledit");
  }
  const char* filename = element->Attribute("filename");
  if (!filename) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrXmlEditNoFilename,
                      "XmlEdit element had no filename attribute");
  }
  const std::string file = expand(filename);
  const std::string temporary = file + ".tmp";

  // A file that cannot be opened is taken as missing. One that is not a
  // regular file (a FIFO would block, a device never ends) or is too large
  // is refused like a file that does not parse.
  TiXmlDocument document;
  std::string why;
  vq_support::FileReadStatus status = vq_support::FileReadStatus::kRead;
  if (!loadBoundedXmlFile(document, file.c_str(), &why, XmlBounds(),
                          &status)) {
    if (status == vq_support::FileReadStatus::kMissing ||
        status == vq_support::FileReadStatus::kFailed) {
      logger.warn("XML file " + file + " does not exist for xmledit action");
      return;
    }
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(1), kErrXmlEditParse,
                      "Parsing of XML file %s failed: %s", file.c_str(),
                      why.c_str());
  }

  int childIndex = 0;
  for (const TiXmlElement* command = element->FirstChildElement(); command;
       command = command->NextSiblingElement()) {
    const char* rpn = command->Attribute("rpn");
    if (!rpn) {
      throw VqException(url.c_str(), VqException::zone(1),
                        VqException::severity(2), kErrXmlEditNoRpn,
                        "No rpn attribute on XML edit command.");
    }
    // Errors of the path language (std::string) end the whole document.
    std::vector<TiXmlNode*> selected;
    RpnPath path;
    path.parse(rpn);
    path.filter(&document, selected);
    if (trace) {
      trace->debug(std::string(command->Value()) +
                   " (childIndex=" + std::to_string(childIndex) + ")");
      ++childIndex;
    }
    const std::size_t contentDepth = elementDepth(*command) - 1;
    const bool insertsChildren = std::strcmp(command->Value(), "append") == 0 ||
                                 std::strcmp(command->Value(), "insertAt") == 0;
    for (TiXmlNode* node : selected) {
      TiXmlElement* target = node->ToElement();
      if (!target) continue;
      // Commands could otherwise stack inserted content ever deeper, into a
      // file the agent would refuse to read again (and TinyXML's recursive
      // printing and destruction must stay bounded too).
      const std::size_t base =
          elementLevel(*target) - (insertsChildren ? 0 : 1);
      if (contentDepth > 0 && base + contentDepth > kMaxXmlDepth) {
        throw VqException(url.c_str(), VqException::zone(0),
                          VqException::severity(1), kErrXmlEditParse,
                          "Parsing of XML file %s failed: %s", file.c_str(),
                          ("the edit would nest elements deeper than " +
                           std::to_string(kMaxXmlDepth) + " levels")
                              .c_str());
      }
      applyXmlEditCommand(*command, target, url);
    }
  }

  std::string text;
  text << document;
  document.Clear();  // the text alone is needed from here on

  std::unique_ptr<apr::File> out;
  try {
    out = std::make_unique<apr::File>(
        temporary.c_str(),
        APR_FOPEN_CREATE | APR_FOPEN_WRITE | APR_FOPEN_TRUNCATE |
            APR_FOPEN_BINARY,
        APR_OS_DEFAULT, pool);
  } catch (const apr::Exception& e) {
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(1), kErrXmlEditOpenForWrite,
                      e.status(), "Failed to open %s for writing (%s:%d)",
                      temporary.c_str(), VQ_SOURCE_FILE, __LINE__);
  }
  try {
    out->write(text.data(), text.size());
    out->close();
  } catch (const apr::Exception& e) {
    out.reset();
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(1), kErrXmlEditWrite, e.status(),
                      "Failed to write %s (%s:%d)", temporary.c_str(),
                      VQ_SOURCE_FILE, __LINE__);
  }
  if (trace) {
    trace->debug("Transaction will move " + temporary + " to " + file);
  }

  // The edited file ends with owner read and write only, whatever it had.
  auto move = std::make_unique<TransactionalFileMove>(pool);
  move->setSourceFilename(temporary);
  move->setDestinationFilename(file);
  move->setPermissions(kDefaultActionPermissions);
  engine << move.release();
}
