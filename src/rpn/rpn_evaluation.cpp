#include "rpn/rpn_evaluation.h"

#include <utility>

#include "rpn/rpn_arithmetic_operators.h"
#include "rpn/rpn_comparison_operators.h"
#include "rpn/rpn_logic_operators.h"
#include "rpn/rpn_operator_const.h"
#include "rpn/rpn_text_operators.h"

RpnEvaluation::RpnEvaluation() {
  *this << new RpnOperatorNot << new RpnOperatorIsVoid << new RpnOperatorLower
        << new RpnOperatorPlus << new RpnOperatorMinus << new RpnOperatorTimes
        << new RpnOperatorDiv << new RpnOperatorMod << new RpnOperatorEquals
        << new RpnOperatorNotEquals << new RpnOperatorLt << new RpnOperatorGt
        << new RpnOperatorLtE << new RpnOperatorGtE << new RpnOperatorAnd
        << new RpnOperatorOr;
}

RpnEvaluation& RpnEvaluation::operator<<(RpnOperator* op) {
  std::shared_ptr<RpnOperator> owned(op);
  if (owned)
    operators_[owned->getToken()] = std::move(owned);
  return *this;
}

void RpnEvaluation::set(const std::string& name, bool value) {
  variables_[name] = std::make_shared<RpnOperatorConst>(name, value);
}

void RpnEvaluation::set(const std::string& name, double value) {
  variables_[name] = std::make_shared<RpnOperatorConst>(name, value);
}

void RpnEvaluation::set(const std::string& name, std::string value) {
  variables_[name] = std::make_shared<RpnOperatorConst>(name, std::move(value));
}

void RpnEvaluation::set(const std::string& name, const char* value) {
  set(name, std::string(value ? value : ""));
}

void RpnEvaluation::clear() {
  variables_.clear();
}

std::shared_ptr<const RpnOperator> RpnEvaluation::findOperator(
    const std::string& word) const {
  auto it = operators_.find(word);
  if (it == operators_.end())
    return nullptr;
  return it->second;
}

bool RpnEvaluation::evaluate(const RpnStack& expression) {
  work_.clear();
  for (const RpnStack::TokenPtr& token : expression.tokens) {
    if (isValue(*token)) {
      work_.push_back(*token);
      continue;
    }
    const std::string& word = token->value;
    auto op = operators_.find(word);
    if (op != operators_.end()) {
      op->second->evaluate(work_);
      continue;
    }
    auto var = variables_.find(word);
    if (var != variables_.end()) {
      var->second->evaluate(work_);
      continue;
    }
    if (!word.empty() && word[0] == '@') {
      work_.emplace_back();
      continue;
    }
    throw unrecognized(word);
  }
  if (work_.empty())
    return false;
  return work_.back().asBoolean();
}
