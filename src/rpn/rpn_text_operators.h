#ifndef VQ_RPN_RPN_TEXT_OPERATORS_H_
#define VQ_RPN_RPN_TEXT_OPERATORS_H_

#include "rpn/rpn_operator.h"

// "lower()": an RpnString with every byte passed through tolower; any other
// token is returned unchanged.
class RpnOperatorLower : public RpnOperatorUnary {
 public:
  const char* getToken() const override { return "lower()"; }
  RpnToken compute(const RpnToken& a) const override;
};

#endif  // VQ_RPN_RPN_TEXT_OPERATORS_H_
