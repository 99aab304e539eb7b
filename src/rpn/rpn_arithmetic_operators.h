#ifndef VQ_RPN_RPN_ARITHMETIC_OPERATORS_H_
#define VQ_RPN_RPN_ARITHMETIC_OPERATORS_H_

#include "rpn/rpn_operator.h"

// Arithmetic in double precision on operands whose texts are numeric; a void
// operand has the empty text and so counts as 0.

// "+": the sum when both operands are numeric, otherwise the RpnString of
// the left text followed by the right text. Never fails.
class RpnOperatorPlus : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "+"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

class RpnOperatorMinus : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "-"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

class RpnOperatorTimes : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "*"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

// "/": floating-point division; a zero divisor gives an infinity or NaN.
class RpnOperatorDiv : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "/"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

// "%": the integer remainder of the operands truncated to long (7.9 2 % is
// 1), with the sign of the left operand.
//
// A zero right operand fails with "operator mod requires a non-zero right
// operand" instead of trapping the process. LONG_MIN % -1 overflows in C++;
// its mathematical remainder, 0, is returned instead.
class RpnOperatorMod : public RpnOperatorBinary {
 public:
  const char* getToken() const override { return "%"; }
  RpnToken compute(const RpnToken& left, const RpnToken& right) const override;
};

#endif  // VQ_RPN_RPN_ARITHMETIC_OPERATORS_H_
