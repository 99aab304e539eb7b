#include "rpn/rpn_arithmetic_operators.h"

#include <string>

namespace {

void RequireNumeric(const RpnToken& left,
                    const RpnToken& right,
                    const char* message) {
  if (!left.isNumeric() || !right.isNumeric())
    throw std::string(message);
}

}  // namespace

RpnToken RpnOperatorPlus::compute(const RpnToken& left,
                                  const RpnToken& right) const {
  if (left.isNumeric() && right.isNumeric()) {
    return RpnToken(left.asDouble() + right.asDouble());
  }
  return RpnToken(left.value + right.value, RpnToken::RpnString);
}

RpnToken RpnOperatorMinus::compute(const RpnToken& left,
                                   const RpnToken& right) const {
  RequireNumeric(left, right, "operator - requires numeric operands");
  return RpnToken(left.asDouble() - right.asDouble());
}

RpnToken RpnOperatorTimes::compute(const RpnToken& left,
                                   const RpnToken& right) const {
  RequireNumeric(left, right, "operator * requires numeric operands");
  return RpnToken(left.asDouble() * right.asDouble());
}

RpnToken RpnOperatorDiv::compute(const RpnToken& left,
                                 const RpnToken& right) const {
  RequireNumeric(left, right, "operator / requires numeric operands");
  return RpnToken(left.asDouble() / right.asDouble());
}

RpnToken RpnOperatorMod::compute(const RpnToken& left,
                                 const RpnToken& right) const {
  RequireNumeric(left, right, "operator mod requires numeric operands");
  const long dividend = left.asLong();
  const long divisor = right.asLong();
  if (divisor == 0) {
    throw std::string("operator mod requires a non-zero right operand");
  }
  if (divisor == -1)
    return RpnToken(0.0);
  return RpnToken(static_cast<double>(dividend % divisor));
}
