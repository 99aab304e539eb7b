#include "app/vq_connect_settings.h"

#include <strings.h>

#include <algorithm>
#include <iostream>
#include <utility>

#include <log4cpp/Category.hh>
#include <tinyxml.h>

#include "app/xml_file.h"

const std::string VqConnectSettings::vqConnectFilename = "vqconnect.xml";

VqConnectSettings::VqConnectSettings(apr_pool_t* pool)
    : VqConnectSettings(pool, vqConnectFilename) {}

VqConnectSettings::VqConnectSettings(apr_pool_t* pool, std::string fileName)
    : logger(log4cpp::Category::getInstance("connectSettings")),
      error(0),
      pool(pool),
      fileName_(std::move(fileName)) {}

void VqConnectSettings::read() {
  TiXmlDocument document;
  if (!loadXmlFile(document, fileName_.c_str())) {
    errorText = std::string("Error reading vqconnect file: ") +
                document.ErrorDesc();
    error = 1;
    logger.error(errorText);
    return;
  }
  const TiXmlElement* root = document.RootElement();
  if (root == nullptr || strcasecmp(root->Value(), "vqconnect") != 0) {
    errorText = "Connect settings XML not recoginzed";
    error = 1;
    logger.error(errorText);
    return;
  }
  const char* version = root->Attribute("version");
  if (version == nullptr || strcasecmp(version, "1.0") != 0) {
    errorText = "ConnectSettings not version 1.0";
    error = 1;
    logger.error(errorText);
    return;
  }
  servers.clear();
  for (const TiXmlElement* server = root->FirstChildElement("server");
       server != nullptr; server = server->NextSiblingElement("server")) {
    const char* text = server->GetText();
    if (text == nullptr || *text == '\0') continue;
    if (std::find(servers.begin(), servers.end(), text) == servers.end()) {
      servers.emplace_back(text);
    }
  }
}

std::vector<std::string> VqConnectSettings::getServers() {
  read();
  return servers;
}

void VqConnectSettings::write() {
  throw std::string(
      "VqConnectSettings should never be written - it can be updated using "
      "xmledit");
}

void VqConnectSettings::debug(std::ostream& out) {
  read();
  out << "servers = [";
  for (size_t i = 0; i < servers.size(); ++i) {
    if (i > 0) out << ",";
    out << '"' << servers[i] << '"';
  }
  out << "]" << std::endl;
}

void VqConnectSettings::debug() { debug(std::cout); }
