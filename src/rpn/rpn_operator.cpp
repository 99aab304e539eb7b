#include "rpn/rpn_operator.h"

#include <string>
#include <utility>

namespace {

constexpr char kUnaryShort[] = "ERR: Unary operator but insufficient operands.";
constexpr char kBinaryShort[] =
    "ERR: Binary operator but insufficient operands.";

}  // namespace

void RpnOperatorUnary::evaluate(RpnStack& stack) const {
  if (stack.empty())
    throw std::string(kUnaryShort);
  RpnStack::TokenPtr a = stack.pop();
  stack.push(compute(*a));
}

void RpnOperatorUnary::evaluate(RpnValueStack& stack) const {
  if (stack.empty())
    throw std::string(kUnaryShort);
  RpnToken result = compute(stack.back());
  stack.back() = std::move(result);
}

void RpnOperatorBinary::evaluate(RpnStack& stack) const {
  if (stack.empty())
    throw std::string(kBinaryShort);
  RpnStack::TokenPtr right = stack.pop();
  if (stack.empty())
    throw std::string(kBinaryShort);
  RpnStack::TokenPtr left = stack.pop();
  stack.push(compute(*left, *right));
}

void RpnOperatorBinary::evaluate(RpnValueStack& stack) const {
  if (stack.size() < 2)
    throw std::string(kBinaryShort);
  const std::size_t top = stack.size() - 1;
  RpnToken result = compute(stack[top - 1], stack[top]);
  stack.pop_back();
  stack.back() = std::move(result);
}
