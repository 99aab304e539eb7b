#include "app/built_in_description.h"

#include <tinyxml.h>

#include <cstdlib>

#include "app/vq_application_settings.h"

namespace {

std::string attribute(const TiXmlElement* element, const char* name) {
  const char* value = element->Attribute(name);
  return value != nullptr ? value : "";
}

}  // namespace

bool readBuiltInDescription(const char* xml,
                            const VqApplicationSettings& settings,
                            ApplicationIdentity* identity) {
  TiXmlDocument document;
  document.Parse(xml != nullptr ? xml : "");
  const TiXmlElement* root = document.RootElement();
  if (document.Error() || root == nullptr) return false;

  ApplicationIdentity read;
  read.feedId = settings.feedId() != -1
                    ? settings.feedId()
                    : atol(attribute(root, "feedId").c_str());
  read.appId = settings.appId() != -1 ? settings.appId()
                                      : atol(attribute(root, "appId").c_str());
  read.build = attribute(root, "build");
  read.platform = attribute(root, "platform");
  read.name = settings.appName() != nullptr ? settings.appName()
                                            : attribute(root, "name");
  read.title = settings.appTitle() != nullptr ? settings.appTitle()
                                              : attribute(root, "title");
  read.swf = settings.swfName() != nullptr ? settings.swfName()
                                           : attribute(root, "swf");
  // Repeated servers are dropped by the application itself.
  if (const TiXmlElement* servers = root->FirstChildElement("defaultServers")) {
    for (const TiXmlElement* server = servers->FirstChildElement("server");
         server != nullptr; server = server->NextSiblingElement("server")) {
      if (server->GetText() != nullptr) {
        read.defaultServers.emplace_back(server->GetText());
      }
    }
  }
  *identity = std::move(read);
  return true;
}
