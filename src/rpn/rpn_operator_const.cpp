#include "rpn/rpn_operator_const.h"

#include <utility>

RpnOperatorConst::RpnOperatorConst(std::string n, bool v)
    : name(std::move(n)), value(v) {}

RpnOperatorConst::RpnOperatorConst(std::string n, double v)
    : name(std::move(n)), value(v) {}

RpnOperatorConst::RpnOperatorConst(std::string n, std::string v)
    : name(std::move(n)), value(std::move(v), RpnToken::RpnString) {}

void RpnOperatorConst::evaluate(RpnStack& stack) const {
  stack.push(value);
}

void RpnOperatorConst::evaluate(RpnValueStack& stack) const {
  stack.push_back(value);
}

RpnOperatorConst& RpnOperatorConst::operator=(const RpnOperatorConst& other) {
  name = other.name;
  value = other.value;
  return *this;
}
