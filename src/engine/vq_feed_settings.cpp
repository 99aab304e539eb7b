#include "engine/vq_feed_settings.h"

#include <log4cpp/Category.hh>
#include <strings.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/application_variables.h"
#include "engine/cdata_text.h"
#include "support/bounded_file.h"
#include "support/bounded_xml.h"
#include "support/c_template.h"
#include "support/input_bounds.h"
#include "support/log_text.h"
#include "web/web.h"

namespace {

bool sameName(const char* a, const char* b) {
  return a != nullptr && strcasecmp(a, b) == 0;
}

// True for a parsed feed document whose root is "vqfeed" version "2.0".
bool isVersion2Feed(const TiXmlElement* root) {
  return root != nullptr && sameName(root->Value(), "vqfeed") &&
         sameName(root->Attribute("version"), "2.0");
}

}  // namespace

const std::string VqFeedSettings::feedSettingsFilename = "vqfeed.xml";

VqFeedSettings::VqFeedSettings(apr_pool_t* pool)
    : pool(pool), logger(log4cpp::Category::getInstance("VqFeedSettings")) {
  logger.debug("VqFeedSettings()");
}

void VqFeedSettings::prepareRequest(Web& web) {
  const char* filename = feedSettingsFilename.c_str();
  TiXmlDocument document;
  std::string why;
  vq_support::FileReadStatus status = vq_support::FileReadStatus::kRead;
  if (!loadBoundedXmlFile(document, filename, &why, XmlBounds(), &status)) {
    if (status == vq_support::FileReadStatus::kMissing ||
        status == vq_support::FileReadStatus::kFailed) {
      addErrorDocument(web, "NO_VQFEED_FILE", why.c_str(), nullptr);
    } else {
      const std::string text = readFeedText();
      addErrorDocument(web, "BAD_VQFEED_FILE", why.c_str(), &text);
    }
    return;
  }
  TiXmlElement* root = document.RootElement();
  if (root == nullptr || !sameName(root->Value(), "vqfeed")) {
    const std::string text = readFeedText();
    addErrorDocument(web, "INCORRECT_XML", nullptr, &text);
    return;
  }
  if (!sameName(root->Attribute("version"), "2.0")) {
    const std::string text = readFeedText();
    addErrorDocument(web, "INCORRECT_VERSION", nullptr, &text);
    return;
  }
  paramCounter = 0;
  handleIncludeNodes(root, web);
  web.addParameter("vq", &document);
}

std::string VqFeedSettings::readFeedText() {
  std::string text;
  std::string why;
  if (vq_support::readRegularFile(feedSettingsFilename, kMaxXmlBytes, &text,
                                  &why) != vq_support::FileReadStatus::kRead) {
    return "ERROR: " + why;
  }
  return text;
}

void VqFeedSettings::addErrorDocument(Web& web, const char* code,
                                      const char* description,
                                      const std::string* fileText) {
  TiXmlDocument document;
  // The document takes ownership of linked nodes.
  TiXmlElement* error = std::make_unique<TiXmlElement>("error").release();
  document.LinkEndChild(error);
  if (description != nullptr) error->SetAttribute("description", description);
  error->SetAttribute("code", code);
  if (fileText != nullptr)
    error->LinkEndChild(makeCdataText(*fileText).release());
  web.addParameter("vq", &document);
}

void VqFeedSettings::handleIncludeNodes(TiXmlElement* element, Web& web) {
  CTemplate expander;
  expander.add(ApplicationVariables::getMap());
  // "file" texts, as written, of the include children of this element only.
  std::vector<std::string> handled;

  TiXmlElement* child = element->FirstChildElement();
  while (child != nullptr) {
    TiXmlElement* next = child->NextSiblingElement();
    if (!sameName(child->Value(), "include")) {
      handleIncludeNodes(child, web);
      child = next;
      continue;
    }
    const char* fileAttribute = child->Attribute("file");
    if (fileAttribute == nullptr) {
      logger.error("file attribute of include node is NULL");
      child->SetAttribute("exists", "false");
      child = next;
      continue;
    }
    const std::string file = fileAttribute;
    const std::string path = expander.parse(file.c_str());
    if (std::find(handled.begin(), handled.end(), file) != handled.end()) {
      element->RemoveChild(child);
      logger.info("File " + path + " already included. Removed child node.");
      child = next;
      continue;
    }

    std::string contents;
    std::string why;
    const vq_support::FileReadStatus status = vq_support::readRegularFile(
        path, vq_bounds::kMaxIncludeTextBytes, &contents, &why);
    if (status == vq_support::FileReadStatus::kMissing) {
      child->SetAttribute("exists", "false");
      logger.debug("include node for file " + path + " : exists=false");
    } else if (status == vq_support::FileReadStatus::kDirectory) {
      child->SetAttribute("exists", "directory");
    } else {
      child->SetAttribute("exists", "true");
      if (status != vq_support::FileReadStatus::kRead) {
        // Sent as empty, like an unreadable file: the server still sees it
        // exists. A FIFO or device is never read, and a file over the bound
        // would make every update request as large.
        logger.warn("include file " + path + " skipped: " + why);
        contents.clear();
      }
      const std::string text(contents.c_str());  // up to the first NUL
      if (sameName(child->Attribute("inline"), "true")) {
        child->LinkEndChild(makeCdataText(text).release());
        if (logger.isDebugEnabled()) {
          logger.debug("inlined include file " + path + ". Data=[" +
                       vq_support::LogSafeBody(text) + "]");
        }
      } else {
        ++paramCounter;
        const std::string name = "p" + std::to_string(paramCounter);
        child->SetAttribute("param", name.c_str());
        web.addParameter(name.c_str(), contents.data(),
                         contents.data() + contents.size());
        if (logger.isDebugEnabled()) {
          logger.debug("added include file " + path + " as parameter " +
                       name + " Data=[" + vq_support::LogSafeBody(text) +
                       "]");
        }
      }
    }
    handled.push_back(file);
    child = next;
  }
}

long VqFeedSettings::getUserId() {
  TiXmlDocument document;
  if (!loadBoundedXmlFile(document, feedSettingsFilename.c_str(), nullptr)) {
    return -1;
  }
  const TiXmlElement* root = document.RootElement();
  if (!isVersion2Feed(root)) return -1;
  const TiXmlElement* user = root->FirstChildElement("user");
  if (user == nullptr) return -1;
  const char* id = user->Attribute("id");
  return id == nullptr ? -1 : std::atol(id);
}

void VqFeedSettings::installUserIdProvider() {
  ApplicationVariables::setUserIdProvider(&VqFeedSettings::getUserId);
}
