#include "rpn/rpn_stack.h"

#include <cstdio>
#include <utility>

namespace {

constexpr char kEmptyStack[] = "ERR: RPN stack is empty.";

}  // namespace

RpnStack::RpnStack(const RpnStack& other) : RpnTokenizer(other) {
  for (const TokenPtr& token : other.tokens)
    push(*token);
}

RpnStack& RpnStack::operator=(const RpnStack& other) {
  if (this == &other)
    return *this;
  std::deque<TokenPtr> copy;
  for (const TokenPtr& token : other.tokens) {
    copy.push_back(std::make_shared<RpnToken>(*token));
  }
  tokens.swap(copy);
  return *this;
}

void RpnStack::push(bool value) {
  tokens.push_back(std::make_shared<RpnToken>(value));
}

void RpnStack::push(double value) {
  tokens.push_back(std::make_shared<RpnToken>(value));
}

void RpnStack::push(const char* text) {
  tokens.push_back(std::make_shared<RpnToken>(text, RpnToken::RpnString));
}

void RpnStack::push(std::string text, RpnToken::RpnType type) {
  tokens.push_back(std::make_shared<RpnToken>(std::move(text), type));
}

void RpnStack::push(const RpnToken& token) {
  tokens.push_back(std::make_shared<RpnToken>(token));
}

void RpnStack::pushVoid() {
  tokens.push_back(std::make_shared<RpnToken>());
}

void RpnStack::literal(std::string token) {
  push(std::move(token), RpnToken::RpnLiteral);
}

void RpnStack::string(std::string token) {
  push(std::move(token), RpnToken::RpnString);
}

RpnStack::TokenPtr RpnStack::pop() {
  if (tokens.empty())
    throw std::string(kEmptyStack);
  TokenPtr top = std::move(tokens.back());
  tokens.pop_back();
  return top;
}

RpnStack::TokenPtr RpnStack::peek() const {
  if (tokens.empty())
    throw std::string(kEmptyStack);
  return tokens.back();
}

void RpnStack::debug() const {
  std::printf("[");
  bool first = true;
  for (const TokenPtr& token : tokens) {
    if (!first)
      std::printf(" ");
    first = false;
    token->debug();
  }
  std::printf("]");
}
