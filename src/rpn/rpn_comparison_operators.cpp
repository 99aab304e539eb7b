#include "rpn/rpn_comparison_operators.h"

RpnToken RpnComparison::compute(const RpnToken& left,
                                const RpnToken& right) const {
  if (left.isVoid() || right.isVoid())
    return RpnToken(false);
  double right_number = 0;
  const bool right_numeric = RpnToken::numericValue(right.value, &right_number);
  return RpnToken(
      compareTexts(left.value, right.value, right_numeric, right_number));
}

bool RpnComparison::compareTexts(const std::string& left,
                                 const std::string& right,
                                 bool right_numeric,
                                 double right_number) const {
  double left_number = 0;
  if (right_numeric && RpnToken::numericValue(left, &left_number)) {
    return compareNumbers(left_number, right_number);
  }
  // std::string compares through char_traits<char>, i.e. as unsigned bytes.
  return compareOrder(left.compare(right));
}
