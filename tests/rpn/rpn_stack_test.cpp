#include "rpn/rpn_stack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

// Tokenizes `text` and renders strings as 'text' and words unchanged;
// `rest` receives the text from the stop position on.
Words Tokens(const char* text, std::string* rest = nullptr) {
  RpnStack stack;
  const char* stop = stack.parse(text);
  if (rest)
    *rest = stop;
  Words out;
  for (const auto& token : stack.tokens) {
    out.push_back(token->isString() ? "'" + token->value + "'" : token->value);
  }
  return out;
}

TEST(RpnTokenizer, SplitsWordsAndQuotedTexts) {
  EXPECT_EQ((Words{"@size", "1024", ">", "name()", "'file'", "=", "and"}),
            Tokens("@size 1024 > name() 'file' = and"));
  EXPECT_EQ((Words{"a", "b"}), Tokens(" \t a\n\r\v\fb "));
  // No separator after a closing quote; a quote inside a word is ordinary.
  EXPECT_EQ((Words{"'a'", "b", "it's"}), Tokens("'a'b it's"));
  // No escapes; the other quote, "]", "/" and blanks are ordinary inside.
  EXPECT_EQ((Words{"'say \"hi\"'", "'it's'", "'x]y / z'", "''"}),
            Tokens("'say \"hi\"' \"it's\" 'x]y / z' ''"));
  // Bytes above 127 are not white space, whatever their sign as char.
  EXPECT_EQ((Words{"\xc3\xa9t\xc3\xa9", "\xa0"}),
            Tokens("\xc3\xa9t\xc3\xa9 \xa0"));
}

TEST(RpnTokenizer, StopsAtNulOrJustAfterClosingBracket) {
  std::string rest = "unset";
  EXPECT_TRUE(Tokens("  \t ", &rest).empty());
  EXPECT_EQ("", rest);
  EXPECT_TRUE(Tokens("]", &rest).empty());
  EXPECT_EQ("", rest);
  EXPECT_EQ((Words{"a"}), Tokens("a]b", &rest));
  EXPECT_EQ("b", rest);
  EXPECT_EQ((Words{"x", "'y]'"}), Tokens("x 'y]'] /z", &rest));
  EXPECT_EQ(" /z", rest);
  // An unterminated quote takes the rest of the text.
  EXPECT_EQ((Words{"a", "'b ] c'"}), Tokens("a 'b ] c", &rest));
  EXPECT_EQ("", rest);
}

TEST(RpnStack, CopiesAreIndependent) {
  RpnStack stack;
  stack.push(1.5);
  stack.push("text");
  RpnStack copy(stack);
  copy[0].value = "changed";
  copy.pop();
  RpnStack assigned;
  assigned.push("old");
  assigned = stack;
  assigned[1].value = "other";
  ASSERT_EQ(2u, stack.size());
  EXPECT_EQ("1.500000", stack[0].value);
  EXPECT_EQ("text", stack[1].value);
  EXPECT_TRUE(stack[1].isString());
  EXPECT_EQ(2u, assigned.size());
  // A popped token outlives its place on the stack.
  RpnStack::TokenPtr top = stack.pop();
  stack.pushVoid();
  EXPECT_EQ("text", top->value);
}

TEST(RpnStack, PopAndPeekOnEmptyStackThrow) {
  RpnStack stack;
  EXPECT_THROW(stack.pop(), std::string);
  EXPECT_THROW(stack.peek(), std::string);
}

}  // namespace
