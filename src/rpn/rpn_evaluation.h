#ifndef VQ_RPN_RPN_EVALUATION_H_
#define VQ_RPN_RPN_EVALUATION_H_

#include <map>
#include <memory>
#include <string>

#include "rpn/rpn_operator.h"
#include "rpn/rpn_stack.h"

// Runs parsed RPN expressions and reduces each to one boolean.
//
// A token is a value when it is an RpnString or its text is numeric or
// boolean; any other word is looked up among the operators, then among the
// variables. A word found in neither pushes a void token when it starts with
// "@" (an attribute the current element lacks) and fails otherwise. Words
// are case-sensitive. Errors are thrown as std::string messages; the
// variables keep their values and the evaluation can be used again.
class RpnEvaluation {
 public:
  using OperatorMap = std::map<std::string, std::shared_ptr<RpnOperator>>;

  // Registers the sixteen operators.
  RpnEvaluation();
  RpnEvaluation(const RpnEvaluation&) = delete;
  RpnEvaluation& operator=(const RpnEvaluation&) = delete;

  // Takes ownership of `op` and registers it under its word, replacing any
  // operator with that word.
  RpnEvaluation& operator<<(RpnOperator* op);

  // Sets variable `name` to the literal "TRUE"/"FALSE", to the "%lf"
  // literal of a number, or to an RpnString, replacing any earlier value.
  void set(const std::string& name, bool value);
  void set(const std::string& name, double value);
  void set(const std::string& name, std::string value);
  void set(const std::string& name, const char* value);
  // Removes every variable; the operators stay.
  void clear();

  // Runs `expression` and returns asBoolean() of the top of the working
  // stack; tokens below the top are ignored. An expression without tokens
  // (such as the empty filter "[]") evaluates to false.
  bool evaluate(const RpnStack& expression);

  // The operator registered under `word`, or null.
  std::shared_ptr<const RpnOperator> findOperator(
      const std::string& word) const;

  // Whether the evaluation pushes `token` as a value instead of looking its
  // text up as a word.
  static bool isValue(const RpnToken& token) {
    return token.isString() || token.isBoolean() || token.isNumeric();
  }
  // The message for a word that is neither an operator nor a variable.
  static std::string unrecognized(const std::string& word) {
    return "Unrecognized rpn operator: " + word;
  }

  const OperatorMap& operators() const { return operators_; }
  const OperatorMap& variables() const { return variables_; }

 private:
  OperatorMap operators_;
  OperatorMap variables_;
  RpnValueStack work_;
};

#endif  // VQ_RPN_RPN_EVALUATION_H_
