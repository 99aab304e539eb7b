#include "engine/vq_feed_settings.h"

#include <log4cpp/Category.hh>
#include <strings.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/c_template.h"
#include "app/vq_application.h"
#include "engine/cdata_text.h"
#include "response/bounded_xml.h"
#include "support/apr_exception.h"
#include "support/apr_utils.h"
#include "support/memory_buffer.h"
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
  if (!loadBoundedXmlFile(document, filename, &why)) {
    if (apr_file_exists(filename, pool)) {
      const std::string text = apr_file_readString(filename, pool);
      addErrorDocument(web, "BAD_VQFEED_FILE", why.c_str(), &text);
    } else {
      addErrorDocument(web, "NO_VQFEED_FILE", why.c_str(), nullptr);
    }
    return;
  }
  TiXmlElement* root = document.RootElement();
  if (root == nullptr || !sameName(root->Value(), "vqfeed")) {
    const std::string text = apr_file_readString(filename, pool);
    addErrorDocument(web, "INCORRECT_XML", nullptr, &text);
    return;
  }
  if (!sameName(root->Attribute("version"), "2.0")) {
    const std::string text = apr_file_readString(filename, pool);
    addErrorDocument(web, "INCORRECT_VERSION", nullptr, &text);
    return;
  }
  paramCounter = 0;
  handleIncludeNodes(root, web);
  web.addParameter("vq", &document);
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
  if (fileText != nullptr) error->LinkEndChild(makeCdataText(*fileText).release());
  web.addParameter("vq", &document);
}

void VqFeedSettings::handleIncludeNodes(TiXmlElement* element, Web& web) {
  CTemplate expander;
  expander.add(VqApplication::getEnvMap());
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

    if (!apr_file_exists(path.c_str(), pool)) {
      child->SetAttribute("exists", "false");
      logger.debug("include node for file " + path + " : exists=false");
    } else if (apr_isdir(path.c_str(), pool)) {
      child->SetAttribute("exists", "directory");
    } else {
      child->SetAttribute("exists", "true");
      MemoryBuffer<char> contents(pool);
      try {
        contents.readFile(path.c_str());
      } catch (const apr::Exception& e) {
        // An unreadable file is sent as empty; the server still sees it
        // exists.
        logger.warn("could not read include file " + path + ": " + e.what());
        contents.clear();
      }
      contents.nullTerminate();
      const std::string text(contents.begin());  // up to the first NUL
      if (sameName(child->Attribute("inline"), "true")) {
        child->LinkEndChild(makeCdataText(text).release());
        if (logger.isDebugEnabled()) {
          logger.debug("inlined include file " + path + ". Data=[" + text +
                       "]");
        }
      } else {
        ++paramCounter;
        const std::string name = "p" + std::to_string(paramCounter);
        child->SetAttribute("param", name.c_str());
        web.addParameter(name.c_str(), contents.begin(), contents.end());
        if (logger.isDebugEnabled()) {
          logger.debug("added include file " + path + " as parameter " +
                       name + " Data=[" + text + "]");
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
  VqApplication::setUserIdProvider(&VqFeedSettings::getUserId);
}
