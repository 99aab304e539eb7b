// The XML bounds pre-scan against TinyXML as the oracle. The pre-scan
// exists so that TinyXML's recursion never meets a text deeper or larger
// than the bounds: whatever it accepts must build a document within them.
// Conversely a text refused for its depth, which TinyXML reads whole without
// error, must really nest deeper (node counts are an upper bound by design,
// and "<?...>" constructs TinyXML may read differently are refused on
// purpose, so neither of those refusals is checked).
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "support/bounded_xml.h"

namespace vq_fuzz {
namespace {

// Small bounds, so that short inputs reach them. The byte bound also keeps
// TinyXML's recursion on refused texts shallow enough for the oracle.
XmlBounds SmallBounds() {
  XmlBounds bounds;
  bounds.maxDepth = 6;
  bounds.maxBytes = 4096;
  bounds.maxNodes = 40;
  return bounds;
}

struct Shape {
  size_t depth = 0;      // element nesting; the root element is 1
  size_t openDepth = 0;  // the same, counting only elements with children
  size_t nodes = 0;  // nodes below the document, plus attributes
};

void Measure(const TiXmlNode* node, size_t depth, Shape* shape) {
  for (const TiXmlNode* child = node->FirstChild(); child;
       child = child->NextSibling()) {
    ++shape->nodes;
    if (const TiXmlElement* element = child->ToElement()) {
      shape->depth = std::max(shape->depth, depth + 1);
      if (child->FirstChild()) {
        shape->openDepth = std::max(shape->openDepth, depth + 1);
      }
      for (const TiXmlAttribute* a = element->FirstAttribute(); a;
           a = a->Next()) {
        ++shape->nodes;
      }
      Measure(child, depth + 1, shape);
    }
  }
}

}  // namespace

bool FuzzXmlBounds(const uint8_t* data, size_t size, std::string* failure) {
  const XmlBounds bounds = SmallBounds();
  if (size > bounds.maxBytes) return true;
  const std::string text = Bytes(data, size);
  std::string why;
  const bool accepted = checkXmlBounds(text.c_str(), text.size(), bounds, &why);

  // What TinyXML may see of the text: up to its first NUL, which ends in
  // NULs enough that no step over a UTF-8 character passes it.
  std::string upToNul(text.c_str());
  upToNul.append(4, '\0');
  TiXmlDocument document;
  // TinyXML stops without an error at text outside the root element and
  // returns where it stopped; only a text it read to the end shows what it
  // would have built from all of it.
  const char* stop = document.Parse(upToNul.c_str());
  while (stop && *stop && std::isspace(static_cast<unsigned char>(*stop))) ++stop;
  const bool readWhole = stop && *stop == '\0';
  Shape shape;
  Measure(&document, 0, &shape);

  // An element written "<a/>" opens no level (TinyXML reads it without
  // recursing), so below the deepest open level one more may be a leaf.
  if (accepted && (shape.openDepth > bounds.maxDepth ||
                   shape.depth > bounds.maxDepth + 1 ||
                   shape.nodes > bounds.maxNodes)) {
    *failure = "accepted, but TinyXML built depth " +
               std::to_string(shape.depth) + " and " +
               std::to_string(shape.nodes) + " nodes";
    return false;
  }
  // TinyXML reads a malformed "<?...>" construct differently from the scan
  // and may then stop without an error having built nothing more, so a
  // text holding one is not held to this direction.
  if (!accepted && why.find("nest deeper") != std::string::npos &&
      !document.Error() && readWhole &&
      text.find("<?") == std::string::npos &&
      shape.depth <= bounds.maxDepth) {
    *failure = "refused as too deep, but TinyXML read it whole at depth " +
               std::to_string(shape.depth);
    return false;
  }
  return true;
}

}  // namespace vq_fuzz
