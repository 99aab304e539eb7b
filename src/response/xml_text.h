#ifndef VQ_RESPONSE_XML_TEXT_H_
#define VQ_RESPONSE_XML_TEXT_H_

#include <string>

class TiXmlNode;

// The node written as XML by TinyXML's string output: no indentation and no
// line breaks added. Used for "the element as XML" in messages and logs.
std::string nodeAsXml(const TiXmlNode& node);

#endif  // VQ_RESPONSE_XML_TEXT_H_
