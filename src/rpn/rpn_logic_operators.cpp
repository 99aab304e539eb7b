#include "rpn/rpn_logic_operators.h"

#include <string>

RpnToken RpnOperatorNot::compute(const RpnToken& a) const {
  return RpnToken(!a.asBoolean());
}

RpnToken RpnOperatorIsVoid::compute(const RpnToken& a) const {
  return RpnToken(a.isVoid());
}

RpnToken RpnOperatorAnd::compute(const RpnToken& left,
                                 const RpnToken& right) const {
  if (left.isVoid() || right.isVoid())
    return RpnToken(false);
  if (!left.isBoolean() || !right.isBoolean()) {
    throw std::string("operator and requiries boolean operands");
  }
  return RpnToken(left.asBoolean() && right.asBoolean());
}

RpnToken RpnOperatorOr::compute(const RpnToken& left,
                                const RpnToken& right) const {
  if (left.isVoid() || right.isVoid())
    return RpnToken(false);
  if (!left.isBoolean() || !right.isBoolean()) {
    throw std::string("operator or requiries boolean operands");
  }
  return RpnToken(left.asBoolean() || right.asBoolean());
}
