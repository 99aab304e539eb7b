#include "rpn/rpn_text_operators.h"

#include <cctype>
#include <string>

RpnToken RpnOperatorLower::compute(const RpnToken& a) const {
  if (!a.isString())
    return a;
  std::string lowered = a.value;
  for (char& c : lowered) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return RpnToken(std::move(lowered), RpnToken::RpnString);
}
