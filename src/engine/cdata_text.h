#ifndef VQ_ENGINE_CDATA_TEXT_H_
#define VQ_ENGINE_CDATA_TEXT_H_

#include <memory>
#include <string>

class TiXmlText;

// A CDATA node holding `text`. TinyXML prints CDATA content verbatim, so a
// "]]>" inside the text would end the section early and let the rest of the
// text be read as markup by the server. Each "]]>" is therefore split across
// two adjacent sections ("]]" ends one, ">" starts the next), which an XML
// reader joins back into the original text.
std::unique_ptr<TiXmlText> makeCdataText(const std::string& text);

#endif  // VQ_ENGINE_CDATA_TEXT_H_
