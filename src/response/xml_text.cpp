#include "response/xml_text.h"

#include <tinyxml.h>

std::string nodeAsXml(const TiXmlNode& node) {
  std::string text;
  text << node;
  return text;
}
