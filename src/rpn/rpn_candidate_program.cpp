#include "rpn/rpn_candidate_program.h"

#include <tinyxml.h>

#include <utility>

RpnCandidateProgram::RpnCandidateProgram(const RpnStack& expression,
                                         const RpnEvaluation& evaluation) {
  instructions_.reserve(expression.size());
  for (const RpnStack::TokenPtr& token : expression.tokens) {
    Instruction in{Kind::kValue, *token, nullptr, {}, nullptr};
    const std::string& word = token->value;
    if (RpnEvaluation::isValue(*token)) {
      in.kind = Kind::kValue;
    } else if ((in.op = evaluation.findOperator(word))) {
      in.kind = Kind::kOperator;
    } else if (word == "first()") {
      in.kind = Kind::kFirst;
    } else if (word == "last()") {
      in.kind = Kind::kLast;
    } else if (word == "count()") {
      in.kind = Kind::kCount;
    } else if (word == "position()") {
      in.kind = Kind::kPosition;
    } else if (word == "rposition()") {
      in.kind = Kind::kRPosition;
    } else if (word == "name()") {
      in.kind = Kind::kName;
    } else if (word[0] == '@') {  // Not empty: the empty text is a value.
      in.kind = Kind::kAttribute;
      in.token.value.erase(0, 1);
    } else {
      in.kind = Kind::kUnrecognized;
    }
    instructions_.push_back(std::move(in));
  }
  fuseComparisons();
}

void RpnCandidateProgram::fuseComparisons() {
  std::vector<Instruction> fused;
  fused.reserve(instructions_.size());
  for (std::size_t i = 0; i < instructions_.size(); ++i) {
    Instruction& subject = instructions_[i];
    const bool candidate_value =
        subject.kind == Kind::kName || subject.kind == Kind::kAttribute;
    if (candidate_value && i + 2 < instructions_.size()) {
      Instruction& constant = instructions_[i + 1];
      const Instruction& op = instructions_[i + 2];
      auto comparison =
          op.kind == Kind::kOperator
              ? std::dynamic_pointer_cast<const RpnComparison>(op.op)
              : nullptr;
      if (constant.kind == Kind::kValue && !constant.token.isVoid() &&
          comparison) {
        Instruction in{subject.kind == Kind::kName ? Kind::kCompareName
                                                   : Kind::kCompareAttribute,
                       std::move(constant.token), nullptr,
                       std::move(subject.token.value), std::move(comparison)};
        in.numeric = RpnToken::numericValue(in.token.value, &in.number);
        fused.push_back(std::move(in));
        i += 2;
        continue;
      }
    }
    fused.push_back(std::move(subject));
  }
  instructions_.swap(fused);
}

const std::string* RpnCandidateProgram::findAttribute(const TiXmlNode* node,
                                                      const std::string& name) {
  const TiXmlElement* element = node ? node->ToElement() : nullptr;
  if (!element)
    return nullptr;
  const std::string* found = nullptr;
  // The last attribute of that name wins, as when each attribute is set as a
  // variable in document order.
  for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
    if (a->NameTStr() == name)
      found = &a->ValueStr();
  }
  return found;
}

bool RpnCandidateProgram::compare(const Instruction& in,
                                  const RpnCandidate& c) {
  if (in.kind == Kind::kCompareName) {
    static const std::string kNoName;
    const std::string& name = c.node ? c.node->ValueStr() : kNoName;
    return in.comparison->compareTexts(name, in.token.value, in.numeric,
                                       in.number);
  }
  const std::string* value = findAttribute(c.node, in.attribute);
  // A missing attribute is void, and void compares false.
  return value && in.comparison->compareTexts(*value, in.token.value,
                                              in.numeric, in.number);
}

bool RpnCandidateProgram::run(const RpnCandidate& c,
                              RpnValueStack& work) const {
  // A lone comparison, such as a step's name filter, needs no stack.
  if (instructions_.size() == 1 &&
      (instructions_[0].kind == Kind::kCompareName ||
       instructions_[0].kind == Kind::kCompareAttribute)) {
    return compare(instructions_[0], c);
  }
  work.clear();
  for (const Instruction& in : instructions_) {
    switch (in.kind) {
      case Kind::kValue:
        work.push_back(in.token);
        break;
      case Kind::kOperator:
        in.op->evaluate(work);
        break;
      case Kind::kFirst:
        work.emplace_back(c.index == 0);
        break;
      case Kind::kLast:
        work.emplace_back(c.index + 1 == c.count ? 1.0 : 0.0);
        break;
      case Kind::kCount:
        work.emplace_back(static_cast<double>(c.count));
        break;
      case Kind::kPosition:
        work.emplace_back(static_cast<double>(c.index));
        break;
      case Kind::kRPosition:
        work.emplace_back(static_cast<double>(c.count - c.index - 1));
        break;
      case Kind::kName:
        work.emplace_back(c.node ? c.node->ValueStr() : std::string(),
                          RpnToken::RpnString);
        break;
      case Kind::kAttribute:
        if (const std::string* value = findAttribute(c.node, in.token.value)) {
          work.emplace_back(*value, RpnToken::RpnString);
        } else {
          work.emplace_back();
        }
        break;
      case Kind::kCompareName:
      case Kind::kCompareAttribute:
        work.emplace_back(compare(in, c));
        break;
      case Kind::kUnrecognized:
        throw RpnEvaluation::unrecognized(in.token.value);
    }
  }
  return !work.empty() && work.back().asBoolean();
}
