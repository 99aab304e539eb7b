#ifndef VQ_RPN_RPN_STACK_H_
#define VQ_RPN_RPN_STACK_H_

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "rpn/rpn_token.h"
#include "rpn/rpn_tokenizer.h"

// An ordered sequence of tokens: a parsed expression (tokens in text order,
// index 0 the leftmost) or a working stack (index 0 the bottom, the back the
// top). Tokenizing text into a stack pushes each token in turn.
class RpnStack : public RpnTokenizer {
 public:
  using TokenPtr = std::shared_ptr<RpnToken>;

  RpnStack() = default;
  // Copies every token as a new token, so the copies never share state.
  RpnStack(const RpnStack& other);
  RpnStack& operator=(const RpnStack& other);
  ~RpnStack() override = default;

  void push(bool value);
  void push(double value);
  // Pushes an RpnString.
  void push(const char* text);
  void push(std::string text, RpnToken::RpnType type);
  void push(const RpnToken& token);
  void pushVoid();

  // Tokenizer callbacks: push an RpnLiteral / an RpnString.
  void literal(std::string token) override;
  void string(std::string token) override;

  // Removes and returns the top token. Throws a std::string message when the
  // stack is empty, rather than touching memory that is not there.
  TokenPtr pop();
  // Returns the top token without removing it; same failure as pop().
  TokenPtr peek() const;

  bool empty() const { return tokens.empty(); }
  std::size_t size() const { return tokens.size(); }
  // The i-th token from the bottom; throws std::out_of_range outside
  // [0, size()).
  RpnToken& operator[](int i) {
    return *tokens.at(static_cast<std::size_t>(i));
  }
  const RpnToken& operator[](int i) const {
    return *tokens.at(static_cast<std::size_t>(i));
  }

  // Writes "[", the tokens separated by blanks, "]" to standard output, with
  // no line end. Diagnostic only.
  void debug() const;

  std::deque<TokenPtr> tokens;
};

#endif  // VQ_RPN_RPN_STACK_H_
