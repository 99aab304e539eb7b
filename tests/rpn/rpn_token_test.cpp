#include "rpn/rpn_token.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "rpn/rpn_stack.h"

namespace {

RpnToken Str(const std::string& text) { return RpnToken(text, RpnToken::RpnString); }

// Tokenizes `text`; strings render as 'text', words unchanged, and the text from the stop
// position on follows after " | ".
std::string Tokens(const char* text) {
  RpnStack stack;
  const char* stop = stack.parse(text);
  std::string out;
  for (const auto& token : stack.tokens)
    out += token->isString() ? "'" + token->value + "'," : token->value + ",";
  return out + " | " + stop;
}

TEST(RpnTokenizer, SplitsWordsAndQuotesAndStopsAtNulOrAfterBracket) {
  const char* const cases[][2] = {
      {" \t a\n\r\v\fb ", "a,b, | "},
      // No separator after a closing quote; a quote inside a word is ordinary.
      {"'a'b it's", "'a',b,it's, | "},
      // No escapes; the other quote, "]", "/" and blanks are ordinary inside.
      {"'say \"hi\"' \"it's\" 'x]y / z' ''", "'say \"hi\"','it's','x]y / z','', | "},
      // Bytes above 127 are not white space, whatever their sign as char.
      {"\xc3\xa9t\xc3\xa9 \xa0", "\xc3\xa9t\xc3\xa9,\xa0, | "},
      {"a]b", "a, | b"}, {"x 'y]'] /z", "x,'y]', |  /z"},
      // An unterminated quote takes the rest of the text.
      {"a 'b ] c", "a,'b ] c', | "},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], Tokens(c[0])) << c[0];
}

TEST(RpnStack, CopiesAreDeepAndEmptyPopsThrow) {
  RpnStack stack;
  stack.push(1.5);
  stack.push("text");
  RpnStack copy(stack), assigned;
  assigned.push("old");
  assigned = stack;
  copy[0].value = assigned[1].value = "changed";
  EXPECT_EQ("1.500000", stack[0].value);
  EXPECT_TRUE(copy[1].isString() && assigned.size() == 2);
  // A popped token outlives its place on the stack.
  RpnStack::TokenPtr top = stack.pop();
  stack.pushVoid();
  EXPECT_EQ("text", top->value);
  EXPECT_THROW(RpnStack().pop(), std::string);
  EXPECT_THROW(RpnStack().peek(), std::string);
}

TEST(RpnToken, TextDecidesTypeAndConversions) {
  for (const char* text : {"1e3", " 7", "", "+.5", "inf", "nan"})
    EXPECT_TRUE(Str(text).isNumeric()) << '"' << text << '"';
  // A NUL inside the text is not the end of it.
  for (const std::string& text : std::vector<std::string>{
           "7 ", "abc", "-", "1e", ".", "1.2.3", std::string("5\0x", 3)})
    EXPECT_FALSE(Str(text).isNumeric()) << '"' << text << '"';
  EXPECT_TRUE(Str("TRUE").isBoolean() && Str("false").isBoolean() && Str("true").asBoolean());
  EXPECT_FALSE(Str("True").isBoolean());
  for (const char* text : {"True", "1", "FALSE"})
    EXPECT_FALSE(Str(text).asBoolean()) << text;
  EXPECT_TRUE(RpnToken().isVoid() && RpnToken().isNumeric());
  EXPECT_EQ(3, Str("3.9").asLong());
  EXPECT_EQ(LONG_MAX, Str("99999999999999999999999").asLong());
  EXPECT_DOUBLE_EQ(2.5, Str("2.5abc").asDouble());
}

// Numbers render exactly as "%lf" does, and short decimal texts read as the same doubles as strtod
// gives, bit for bit, though both take quicker routes (asDouble shares the decimal one).
TEST(RpnToken, NumbersMatchPrintfAndStrtod) {
  auto printed = [](double value) {
    char text[1024];
    std::snprintf(text, sizeof(text), "%lf", value);
    return std::string(text);
  };
  for (double value : {-0.0, 1.0 / 3.0, 9007199254740991.0, 9007199254740992.0, 5e-7,
                       std::numeric_limits<double>::max(),
                       -std::numeric_limits<double>::infinity(), std::nan("")})
    EXPECT_EQ(printed(value), RpnToken::formatNumber(value));
  for (double i = 0; i < 100000; i += 7)
    ASSERT_EQ(printed(i), RpnToken(i).value);
  std::mt19937 next(12345);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    if (next() % 4 == 0) text += next() % 2 ? '-' : '+';
    const unsigned length = 1 + next() % 17, point = next() % (length + 2);
    for (unsigned d = 0; d < length; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + next() % 10);
    }
    const double expected = std::strtod(text.c_str(), nullptr);
    double parsed = 0;
    ASSERT_TRUE(RpnToken::numericValue(text, &parsed)) << text;
    ASSERT_EQ(0, std::memcmp(&expected, &parsed, sizeof(double))) << text;
  }
}

}  // namespace
