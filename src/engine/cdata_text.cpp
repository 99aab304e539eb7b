#include "engine/cdata_text.h"

#include <tinyxml.h>

std::unique_ptr<TiXmlText> makeCdataText(const std::string& text) {
  static const std::string kEnd = "]]>";
  static const std::string kSplitEnd = "]]]]><![CDATA[>";
  std::string safe;
  safe.reserve(text.size());
  std::string::size_type from = 0;
  for (;;) {
    const std::string::size_type at = text.find(kEnd, from);
    if (at == std::string::npos) break;
    safe.append(text, from, at - from);
    safe += kSplitEnd;
    from = at + kEnd.size();
  }
  safe.append(text, from, std::string::npos);
  auto node = std::make_unique<TiXmlText>(safe);
  node->SetCDATA(true);
  return node;
}
