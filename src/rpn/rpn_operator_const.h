#ifndef VQ_RPN_RPN_OPERATOR_CONST_H_
#define VQ_RPN_RPN_OPERATOR_CONST_H_

#include <string>

#include "rpn/rpn_operator.h"
#include "rpn/rpn_token.h"

// A named constant (a variable of an evaluation): its word pushes a copy of
// its value.
class RpnOperatorConst : public RpnOperator {
 public:
  // The literal "TRUE" or "FALSE".
  RpnOperatorConst(std::string name, bool value);
  // The literal "%lf" rendering of `value`.
  RpnOperatorConst(std::string name, double value);
  // An RpnString holding `value`.
  RpnOperatorConst(std::string name, std::string value);
  RpnOperatorConst(const RpnOperatorConst&) = default;

  const char* getToken() const override { return name.c_str(); }
  void evaluate(RpnStack& stack) const override;
  void evaluate(RpnValueStack& stack) const override;
  RpnOperatorConst& operator=(const RpnOperatorConst& other);

  std::string name;
  RpnToken value;
};

#endif  // VQ_RPN_RPN_OPERATOR_CONST_H_
