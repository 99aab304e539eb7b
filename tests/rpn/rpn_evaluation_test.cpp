#include "rpn/rpn_evaluation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Evaluates `text`; a failure becomes "error: <message>".
std::string Outcome(RpnEvaluation& evaluation, const char* text) {
  RpnStack expression;
  expression.parse(text);
  try {
    return evaluation.evaluate(expression) ? "true" : "false";
  } catch (const std::string& message) {
    return "error: " + message;
  }
}

TEST(RpnEvaluation, OperatorsVoidAndErrorMessages) {
  const std::vector<std::pair<const char*, std::vector<const char*>>> cases = {
      // The top token decides; 5.000000 is not a boolean. No token is false.
      {"true", {"TRUE", "'TRUE'", "FALSE TRUE", "1 2 3 + 5 ="}},
      {"false", {"1", "FALSE", "'True'", ""}},
      // Logic; the void test of "and"/"or" comes before their type test.
      {"true", {"FALSE not", "5 not", "@missing isVoid()", "TRUE lower()",
                "@missing lower() isVoid()"}},
      {"false", {"TRUE not", "'' isVoid()", "TRUE false and", "false FALSE or",
                 "@missing 1 and", "TRUE @missing or"}},
      // Arithmetic decides numbers by their text; void counts as "".
      {"true",
       {"'1' '2' + '3.000000' =", "@missing 5 + 5 =",
        "@missing 'x' + 'x' =", "10 4 - 6 =", "2.5 4 * 10 =",
        "1 3 / '0.333333' =", "1 0 / 'inf' =", "-7 2 % '-1.000000' =",
        "7.9 2 % 1 =", "7 -2 % 1 =",
        // LONG_MIN % -1 overflows in C++; its remainder is 0. Texts beyond
        // the range of long saturate to it.
        "-9223372036854775808 -1 % 0 =", "-99999999999999999999 -1 % 0 ="}},
      // Comparisons: numeric when both are, else bytes unsigned (0xC3 > z).
      {"true", {"1 2 <", "'10' '9a' <", "'5' '5.0' =",
                "'Abc' 'abc' !=", "'ab' 'abc' <", "'abc' 'ab' >=",
                "'a' 'a' <=", "3 2 >", "nan nan !=", "'\xc3\xa9' 'z' >"}},
      // A void operand makes every comparison false, "!=" included.
      {"false", {"'10' '9' <", "'5' '05x' =", "2 2 !=", "nan nan =",
                 "@missing 'x' !=", "@missing @missing >="}},
      {"error: operator mod requires a non-zero right operand", {"7 0.5 %"}},
      {"error: ERR: Binary operator but insufficient operands.", {"TRUE and"}},
      {"error: ERR: Unary operator but insufficient operands.", {"not"}},
      {"error: Unrecognized rpn operator: AND", {"TRUE TRUE AND"}},
      {"error: operator and requiries boolean operands", {"1 TRUE and"}},
      {"error: operator or requiries boolean operands", {"TRUE 'a' or"}},
      {"error: operator - requires numeric operands", {"'x' 1 -"}},
      {"error: operator * requires numeric operands", {"1 'x' *"}},
      {"error: operator / requires numeric operands", {"'1/2' 2 /"}},
      {"error: operator mod requires numeric operands", {"'x' 2 %"}},
  };
  RpnEvaluation evaluation;
  for (const auto& [expected, expressions] : cases)
    for (const char* expression : expressions)
      EXPECT_EQ(expected, Outcome(evaluation, expression)) << expression;
}

TEST(RpnEvaluation, VariablesAreLookedUpAfterOperators) {
  RpnEvaluation evaluation;
  evaluation.set("k", std::string("v"));
  evaluation.set("flag", true);
  evaluation.set("n", 3.0);
  evaluation.set("s", "10");
  evaluation.set("not", std::string("shadow"));  // an operator hides a variable of its name
  EXPECT_EQ("true", Outcome(evaluation, "k 'v' = flag and n '3.000000' = and s 9 > and"));
  EXPECT_EQ("false", Outcome(evaluation, "TRUE not"));
  evaluation.set("k", std::string("w"));
  // A failure leaves the variables and the expression as they were.
  RpnStack failing;
  failing.parse("1 'x' -");
  EXPECT_THROW(evaluation.evaluate(failing), std::string);
  EXPECT_EQ(3u, failing.size());
  EXPECT_EQ("true", Outcome(evaluation, "k 'w' ="));

  // Operators work on shared-pointer stacks too.
  RpnStack stack;
  stack.parse("7 2");
  evaluation.findOperator("-")->evaluate(stack);
  ASSERT_EQ(1u, stack.size());
  EXPECT_EQ("5.000000", stack.peek()->value);
  EXPECT_THROW(evaluation.findOperator("=")->evaluate(stack), std::string);
  EXPECT_TRUE(stack.empty());
}

}  // namespace
