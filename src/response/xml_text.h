#ifndef VQ_RESPONSE_XML_TEXT_H_
#define VQ_RESPONSE_XML_TEXT_H_

#include <string>

class TiXmlNode;

// The node written as XML by TinyXML's string output: no indentation and no
// line breaks added. Used for "the element as XML" in messages and logs.
std::string nodeAsXml(const TiXmlNode& node);

// The last component of a __FILE__ path, for the "(file:line)" locations
// that messages carry.
constexpr const char* sourceBaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/') base = p + 1;
  }
  return base;
}

#define VQ_SOURCE_FILE sourceBaseName(__FILE__)

#endif  // VQ_RESPONSE_XML_TEXT_H_
