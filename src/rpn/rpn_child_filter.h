#ifndef VQ_RPN_RPN_CHILD_FILTER_H_
#define VQ_RPN_RPN_CHILD_FILTER_H_

#include <memory>
#include <string>
#include <vector>

#include "rpn/rpn_candidate_program.h"
#include "rpn/rpn_evaluation.h"
#include "rpn/rpn_stack.h"

class TiXmlNode;

// One step of a path: goes from a set of elements to their child elements
// and keeps the children that pass every filter of the step.
//
// The step's element name becomes its first filter, `name() '<name>' =`, so
// `/item[x]` and `/[name() 'item' =][x]` select the same elements.
class RpnChildFilter {
 public:
  RpnChildFilter() = default;
  RpnChildFilter(const RpnChildFilter&) = delete;
  RpnChildFilter& operator=(const RpnChildFilter&) = delete;

  // Parses one step, "/" name? ("[" expression "]")*, with optional white
  // space around the "/" and before each "[". Returns where the next step
  // begins (at its "/" or at the NUL). A filter missing its closing "]" runs
  // to the end of the text. Throws std::string messages on bad syntax.
  const char* parse(const char* text);

  // Appends to `out` the child elements of `parent` that pass every filter.
  // A null parent has no children.
  void filter(TiXmlNode* parent, std::vector<TiXmlNode*>& out);
  // The same for each parent in order; positions count per parent.
  void filter(const std::vector<TiXmlNode*>& parents,
              std::vector<TiXmlNode*>& out);
  // Applies the filters in order, each to the survivors of the one before
  // (positions are counted anew among them), and appends the final
  // survivors to `out`. On an evaluation error `out` is unchanged.
  void filterCandidates(const std::vector<TiXmlNode*>& candidates,
                        std::vector<TiXmlNode*>& out);

  // Writes each filter as RpnStack::debug does. Diagnostic only.
  void debug() const;

  const std::string& name() const { return name_; }
  const std::vector<std::shared_ptr<RpnStack>>& expressions() const {
    return expressions_;
  }

 private:
  void addExpression(std::shared_ptr<RpnStack> expression);
  // Runs programs_[first..] over `candidates` as filterCandidates does.
  void runPrograms(const std::vector<TiXmlNode*>& candidates,
                   std::size_t first,
                   std::vector<TiXmlNode*>& out);

  std::vector<std::shared_ptr<RpnStack>> expressions_;
  // One per expression, resolved against `evaluation_`.
  std::vector<RpnCandidateProgram> programs_;
  RpnEvaluation evaluation_;
  std::string name_;
  // Whether programs_[0] is the filter built from the step's name. It reads
  // no position variable, so it can be applied while the children are
  // collected, saving a second pass over them.
  bool has_name_filter_ = false;
  RpnValueStack work_;
  std::vector<TiXmlNode*> candidates_;
};

#endif  // VQ_RPN_RPN_CHILD_FILTER_H_
