#include "rpn/rpn_child_filter.h"

#include <tinyxml.h>

#include <cctype>
#include <utility>

namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c));
}

const char* SkipSpace(const char* p) {
  while (IsSpace(*p))
    ++p;
  return p;
}

}  // namespace

void RpnChildFilter::addExpression(std::shared_ptr<RpnStack> expression) {
  programs_.emplace_back(*expression, evaluation_);
  expressions_.push_back(std::move(expression));
}

const char* RpnChildFilter::parse(const char* text) {
  expressions_.clear();
  programs_.clear();
  name_.clear();
  has_name_filter_ = false;
  if (!text)
    throw std::string("RPN Path Expression must start with /");

  const char* p = SkipSpace(text);
  if (*p == '\0')
    return p;
  if (*p != '/')
    throw std::string("RPN Path Expression must start with /");
  p = SkipSpace(p + 1);
  if (*p == '\0' || *p == '/')
    return p;

  if (*p != '[') {
    const char* start = p;
    while (*p != '\0' && *p != '/' && *p != '[' && !IsSpace(*p))
      ++p;
    name_.assign(start, p);
    // The name filter is built from tokens rather than from the text
    // "name() '<name>' =": a name holding a quote character would otherwise
    // end the quoted text early and turn into different words.
    auto by_name = std::make_shared<RpnStack>();
    by_name->push("name()", RpnToken::RpnLiteral);
    by_name->push(name_, RpnToken::RpnString);
    by_name->push("=", RpnToken::RpnLiteral);
    addExpression(std::move(by_name));
    has_name_filter_ = true;
  }

  for (;;) {
    p = SkipSpace(p);
    if (*p == '\0' || *p == '/')
      return p;
    if (*p != '[') {
      throw std::string("Unexpected token in rpn expression: ") + p;
    }
    auto expression = std::make_shared<RpnStack>();
    p = expression->parse(p + 1);
    addExpression(std::move(expression));
  }
}

void RpnChildFilter::filter(TiXmlNode* parent, std::vector<TiXmlNode*>& out) {
  candidates_.clear();
  if (!parent)
    return;
  for (TiXmlNode* child = parent->FirstChild(); child;
       child = child->NextSibling()) {
    if (child->Type() != TiXmlNode::TINYXML_ELEMENT)
      continue;
    if (has_name_filter_ &&
        !programs_[0].run(RpnCandidate{child, 0, 0}, work_)) {
      continue;
    }
    candidates_.push_back(child);
  }
  runPrograms(candidates_, has_name_filter_ ? 1 : 0, out);
}

void RpnChildFilter::filter(const std::vector<TiXmlNode*>& parents,
                            std::vector<TiXmlNode*>& out) {
  for (TiXmlNode* parent : parents)
    filter(parent, out);
}

void RpnChildFilter::filterCandidates(const std::vector<TiXmlNode*>& candidates,
                                      std::vector<TiXmlNode*>& out) {
  runPrograms(candidates, 0, out);
}

void RpnChildFilter::runPrograms(const std::vector<TiXmlNode*>& candidates,
                                 std::size_t first,
                                 std::vector<TiXmlNode*>& out) {
  std::vector<TiXmlNode*> survivors = candidates;
  std::vector<TiXmlNode*> input;
  for (std::size_t p = first; p < programs_.size(); ++p) {
    const RpnCandidateProgram& program = programs_[p];
    input.swap(survivors);
    survivors.clear();
    const std::size_t n = input.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (program.run(RpnCandidate{input[i], i, n}, work_)) {
        survivors.push_back(input[i]);
      }
    }
    if (survivors.empty())
      break;
  }
  out.insert(out.end(), survivors.begin(), survivors.end());
}

void RpnChildFilter::debug() const {
  for (const std::shared_ptr<RpnStack>& expression : expressions_) {
    expression->debug();
  }
}
