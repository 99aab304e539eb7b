#ifndef VQ_RPN_RPN_LOGIC_OPERATORS_H_
#define VQ_RPN_RPN_LOGIC_OPERATORS_H_

#include "rpn/rpn_operator.h"

// "not": the negation of asBoolean(); no type check, so `5 not` is true.
class RpnOperatorNot : public RpnOperatorUnary {
 public:
  const char* getToken() const override { return "not"; }
  RpnToken compute(const RpnToken& a) const override;
};

// "isVoid()": whether the operand is void (a missing attribute).
class RpnOperatorIsVoid : public RpnOperatorUnary {
 public:
  const char* getToken() const override { return "isVoid()"; }
  RpnToken compute(const RpnToken& a) const override;
};

// "and": FALSE when either operand is void; otherwise both operands must be
// boolean texts.
class RpnOperatorAnd : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "and"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

// "or": FALSE when either operand is void; otherwise both operands must be
// boolean texts.
class RpnOperatorOr : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "or"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

#endif  // VQ_RPN_RPN_LOGIC_OPERATORS_H_
