#include "rpn_path_check.h"

#include <tinyxml.h>

#include <vector>

#include "rpn/rpn_evaluation.h"
#include "rpn/rpn_path.h"

namespace {

// Element names, attribute values and nodes chosen to exercise every kind
// of comparison: numbers written differently, empty values, case, quotes,
// text and comment nodes between elements, several parents.
constexpr char kDocument[] =
    "<?xml version=\"1.0\"?>\n"
    "<config version=\"2\">\n"
    "  <!-- comment -->\n"
    "  <item id=\"5\" enabled=\"true\" name=\"Five\"/>\n"
    "  <item id=\"5.0\" kind=\"file\" size=\"1024\"/>\n"
    "  <Item id=\"05x\" enabled=\"\"/>\n"
    "  text between\n"
    "  <ITEM id=\"\" q='it&apos;s' d=\"&quot;\"/>\n"
    "  <group name=\"g1\"><item id=\"1\"/><item id=\"2\" "
    "k=\"v\"/><b/>t</group>\n"
    "  <group name=\"g2\"><item id=\"3\" k=\"v\"/><a><b "
    "x=\"-7\"/></a></group>\n"
    "</config>\n"
    "<other x=\"1e3\" y=\"inf\" z=\"nan\" w=\" 7\"/>\n";

TiXmlDocument& Document() {
  static TiXmlDocument* document = [] {
    auto* doc = new TiXmlDocument;
    doc->Parse(kDocument);
    return doc;
  }();
  return *document;
}

std::vector<TiXmlNode*> ElementChildren(TiXmlNode* parent) {
  std::vector<TiXmlNode*> children;
  for (TiXmlNode* c = parent->FirstChild(); c; c = c->NextSibling()) {
    if (c->ToElement())
      children.push_back(c);
  }
  return children;
}

// The filtering rules written out directly over RpnEvaluation's variables.
std::vector<TiXmlNode*> ReferenceFilter(const RpnPath& path, TiXmlNode* root) {
  RpnEvaluation evaluation;
  std::vector<TiXmlNode*> current{root};
  for (const auto& step : path.steps()) {
    std::vector<TiXmlNode*> next;
    for (TiXmlNode* parent : current) {
      std::vector<TiXmlNode*> survivors = ElementChildren(parent);
      for (const auto& expression : step->expressions()) {
        std::vector<TiXmlNode*> input;
        input.swap(survivors);
        const size_t n = input.size();
        for (size_t i = 0; i < n; ++i) {
          evaluation.clear();
          evaluation.set("first()", i == 0);
          evaluation.set("last()", i == n - 1 ? 1.0 : 0.0);
          evaluation.set("count()", static_cast<double>(n));
          evaluation.set("position()", static_cast<double>(i));
          evaluation.set("rposition()", static_cast<double>(n - i - 1));
          evaluation.set("name()", input[i]->ValueStr());
          for (const TiXmlAttribute* a =
                   input[i]->ToElement()->FirstAttribute();
               a; a = a->Next()) {
            evaluation.set("@" + a->NameTStr(), a->ValueStr());
          }
          if (evaluation.evaluate(*expression))
            survivors.push_back(input[i]);
        }
      }
      next.insert(next.end(), survivors.begin(), survivors.end());
    }
    current.swap(next);
    if (current.empty())
      break;
  }
  return current;
}

}  // namespace

bool CheckRpnPathInput(const uint8_t* data, size_t size, std::string* failure) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RpnPath path;
  try {
    path.parse(text.c_str());
  } catch (const std::string&) {
    return true;
  }

  TiXmlNode* root = &Document();
  std::vector<TiXmlNode*> fast;
  std::string fast_error;
  try {
    path.filter(root, fast);
  } catch (const std::string& error) {
    fast_error = error.empty() ? "(empty message)" : error;
  }
  std::vector<TiXmlNode*> reference;
  std::string reference_error;
  try {
    reference = ReferenceFilter(path, root);
  } catch (const std::string& error) {
    reference_error = error.empty() ? "(empty message)" : error;
  }

  if (fast_error != reference_error) {
    *failure = "error \"" + fast_error + "\" but expected \"" +
               reference_error + "\" for path " + text;
    return false;
  }
  if (fast_error.empty() && fast != reference) {
    *failure = "selection differs for path " + text;
    return false;
  }
  return true;
}
