#ifndef VQ_RPN_RPN_PATH_H_
#define VQ_RPN_RPN_PATH_H_

#include <memory>
#include <vector>

#include "rpn/rpn_child_filter.h"

class TiXmlNode;

// A parsed path expression that selects elements of a TinyXML document.
//
// A path is a sequence of steps "/" name? ("[" rpn "]")*. Each step goes one
// level down, from the current elements to their child elements, and keeps
// those that pass its filters; there is no descendant search. Examples, with
// the document as root:
//   /config/item                  every item under the top-level config
//   /config/item[@id '5' =]       those whose id is 5 as a number (5.0 too)
//   /config/item[first()]         the first item under each config
//   /config/item[@on isVoid()]    the items without an "on" attribute
// Filter variables: first() (boolean), last() (1 or 0), count(), position()
// (0-based), rposition() (0 for the last), name() and "@"<attribute>.
//
// All failures are thrown as std::string messages.
class RpnPath {
 public:
  // An empty path: filter() returns the root itself.
  RpnPath() = default;
  // Parses `text`; throws std::string on bad syntax.
  explicit RpnPath(const char* text);
  RpnPath(const RpnPath&) = delete;
  RpnPath& operator=(const RpnPath&) = delete;

  // Replaces the steps with those of `text`. Throws "RPN Path Expression
  // must start with /" or "Unexpected token in rpn expression: <rest>". On
  // failure the steps parsed before the error stay; discard the path.
  void parse(const char* text);

  // Runs the path from `root` and replaces `result` with the selected
  // elements, in document order per parent. A step that selects nothing
  // ends the run with an empty result. On an evaluation error `result` is
  // unchanged. A null root selects nothing.
  void filter(TiXmlNode* root, std::vector<TiXmlNode*>& result);

  // Writes each step as "/" and its filters, then a line end. Diagnostic.
  void debug() const;

  const std::vector<std::shared_ptr<RpnChildFilter>>& steps() const {
    return steps_;
  }

 private:
  std::vector<std::shared_ptr<RpnChildFilter>> steps_;
};

#endif  // VQ_RPN_RPN_PATH_H_
