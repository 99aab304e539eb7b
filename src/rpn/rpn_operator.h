#ifndef VQ_RPN_RPN_OPERATOR_H_
#define VQ_RPN_RPN_OPERATOR_H_

#include <vector>

#include "rpn/rpn_stack.h"
#include "rpn/rpn_token.h"

// The working stack of an evaluation: tokens by value, top at the back. It is
// reused between runs so that evaluating a filter allocates nothing for
// short texts.
using RpnValueStack = std::vector<RpnToken>;

// Anything a word of an expression can invoke: an operator or a named
// constant. Operators take their operands from the top of a working stack and
// push one result; on failure they throw a std::string message and leave the
// stack partly consumed (the evaluation discards it).
class RpnOperator {
 public:
  RpnOperator() = default;
  RpnOperator(const RpnOperator&) = default;
  virtual ~RpnOperator() = default;

  // The word that invokes the operator.
  virtual const char* getToken() const = 0;
  virtual void evaluate(RpnStack& stack) const = 0;
  virtual void evaluate(RpnValueStack& stack) const = 0;

  RpnOperator& operator=(const RpnOperator&) = default;
};

// An operator of one operand.
class RpnOperatorUnary : public RpnOperator {
 public:
  void evaluate(RpnStack& stack) const override;
  void evaluate(RpnValueStack& stack) const override;

  // The result for operand `a`; throws a std::string message on failure.
  virtual RpnToken compute(const RpnToken& a) const = 0;
};

// An operator of two operands: `left right op`, right being the top.
class RpnOperatorBinary : public RpnOperator {
 public:
  void evaluate(RpnStack& stack) const override;
  void evaluate(RpnValueStack& stack) const override;

  // The result for (left, right); throws a std::string message on failure.
  virtual RpnToken compute(const RpnToken& left,
                           const RpnToken& right) const = 0;
};

#endif  // VQ_RPN_RPN_OPERATOR_H_
