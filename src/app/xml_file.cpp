#include "app/xml_file.h"

#include <string>

#include "support/bounded_file.h"
#include "support/bounded_xml.h"
#include "support/input_bounds.h"

bool loadXmlFile(TiXmlDocument& document, const char* fileName) {
  std::string text;
  if (fileName == nullptr ||
      vq_support::readRegularFile(fileName, vq_bounds::kMaxXmlBytes, &text,
                                  nullptr) !=
          vq_support::FileReadStatus::kRead) {
    document.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr,
                      TIXML_DEFAULT_ENCODING);
    return false;
  }
  vq_support::normalizeLineEnds(text);
  parseXmlText(document, text.c_str(), text.size());
  return !document.Error();
}
