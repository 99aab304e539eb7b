#ifndef VQ_RPN_RPN_CANDIDATE_PROGRAM_H_
#define VQ_RPN_RPN_CANDIDATE_PROGRAM_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "rpn/rpn_comparison_operators.h"
#include "rpn/rpn_evaluation.h"
#include "rpn/rpn_operator.h"
#include "rpn/rpn_stack.h"
#include "rpn/rpn_token.h"

class TiXmlNode;

// One element being filtered: the node and its place among the n candidates.
struct RpnCandidate {
  const TiXmlNode* node;
  std::size_t index;
  std::size_t count;
};

// A filter expression with every word resolved once, ahead of the
// candidates. Running it gives exactly the result of clearing an
// RpnEvaluation, setting the candidate variables ("first()", "last()",
// "count()", "position()", "rposition()", "name()" and one "@name" per
// attribute) and evaluating the expression, but a candidate costs only the
// variables the expression names, and an attribute reference costs a scan of
// that element's attributes. The common shape "name() or @attribute, then a
// constant, then a comparison" runs as one step that compares in place, with
// the constant classified as number or text once for all candidates.
class RpnCandidateProgram {
 public:
  // Resolves the words of `expression` against the operators of
  // `evaluation`, which must not change afterwards.
  RpnCandidateProgram(const RpnStack& expression,
                      const RpnEvaluation& evaluation);

  // Evaluates the expression for `candidate` on the reusable working stack
  // `work`. An empty expression is false. Throws std::string messages.
  bool run(const RpnCandidate& candidate, RpnValueStack& work) const;

 private:
  enum class Kind {
    kValue,
    kOperator,
    kFirst,
    kLast,
    kCount,
    kPosition,
    kRPosition,
    kName,
    kAttribute,
    kUnrecognized,
    kCompareName,
    kCompareAttribute,
  };
  struct Instruction {
    Kind kind;
    // The value of kValue; the attribute name of kAttribute; the word of
    // kUnrecognized; the constant operand of the kCompare kinds.
    RpnToken token;
    std::shared_ptr<const RpnOperator> op;
    // Only for the kCompare kinds.
    std::string attribute;
    std::shared_ptr<const RpnComparison> comparison;
    bool numeric = false;
    double number = 0;
  };

  // Replaces each "candidate value, constant, comparison" triple with one
  // kCompare instruction.
  void fuseComparisons();
  // The result of a kCompare instruction for candidate `c`.
  static bool compare(const Instruction& in, const RpnCandidate& c);
  // The value of attribute `name` of `node`, or null when it has none.
  static const std::string* findAttribute(const TiXmlNode* node,
                                          const std::string& name);

  std::vector<Instruction> instructions_;
};

#endif  // VQ_RPN_RPN_CANDIDATE_PROGRAM_H_
