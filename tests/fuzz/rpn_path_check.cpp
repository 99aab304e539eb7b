#include "rpn_path_check.h"

#include <tinyxml.h>

#include <vector>

#include "rpn/rpn_evaluation.h"
#include "rpn/rpn_path.h"

namespace {

// Names and values for every kind of comparison: numbers written
// differently, empty values, case, quotes, text and comments between
// elements, several parents.
constexpr char kDocument[] =
    "<config version='2'><!-- comment -->"
    "<item id='5' enabled='true' name='Five'/> "
    "<item id='5.0' kind='file' size='1024'/><Item id='05x' enabled=''/>"
    " text between <ITEM id='' q='it&apos;s' d='&quot;'/>"
    "<group name='g1'><item id='1'/><item id='2' k='v'/><b/>t</group>"
    "<group name='g2'><item id='3' k='v'/><a><b x='-7'/></a></group>"
    "</config><other x='1e3' y='inf' z='nan' w=' 7'/>";

// The filtering rules written out directly over RpnEvaluation's variables.
std::vector<TiXmlNode*> ReferenceFilter(const RpnPath& path, TiXmlNode* root) {
  RpnEvaluation evaluation;
  std::vector<TiXmlNode*> current{root};
  for (const auto& step : path.steps()) {
    std::vector<TiXmlNode*> next;
    for (TiXmlNode* parent : current) {
      std::vector<TiXmlNode*> survivors;
      for (TiXmlNode* c = parent->FirstChild(); c; c = c->NextSibling())
        if (c->ToElement()) survivors.push_back(c);
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
          for (auto* a = input[i]->ToElement()->FirstAttribute(); a;
               a = a->Next())
            evaluation.set("@" + a->NameTStr(), a->ValueStr());
          if (evaluation.evaluate(*expression)) survivors.push_back(input[i]);
        }
      }
      next.insert(next.end(), survivors.begin(), survivors.end());
    }
    current.swap(next);
  }
  return current;
}

// Runs `filter`; returns the error it threw, "" when none.
template <typename Filter>
std::string ErrorOf(Filter filter) {
  try {
    filter();
  } catch (const std::string& error) {
    return error.empty() ? "(empty message)" : error;
  }
  return "";
}

}  // namespace

bool CheckRpnPathInput(const uint8_t* data, size_t size, std::string* failure) {
  static TiXmlDocument document;
  if (document.NoChildren()) document.Parse(kDocument);
  // The text ends at its first NUL, as a C string does.
  const std::string text(reinterpret_cast<const char*>(data), size);
  RpnPath path;
  if (!ErrorOf([&] { path.parse(text.c_str()); }).empty()) return true;
  std::vector<TiXmlNode*> fast, reference;
  const std::string fastError = ErrorOf([&] { path.filter(&document, fast); });
  const std::string referenceError =
      ErrorOf([&] { reference = ReferenceFilter(path, &document); });
  if (fastError != referenceError) {
    *failure = "error \"" + fastError + "\" but expected \"" + referenceError +
               "\" for path " + text;
    return false;
  }
  if (fastError.empty() && fast != reference) {
    *failure = "selection differs for path " + text;
    return false;
  }
  return true;
}
