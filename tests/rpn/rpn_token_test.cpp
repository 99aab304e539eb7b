#include "rpn/rpn_token.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

RpnToken Str(const std::string& text) {
  return RpnToken(text, RpnToken::RpnString);
}

TEST(RpnToken, NumericAndBooleanAreDecidedByTheText) {
  for (const char* text :
       {"42", "-1.5", "1e3", " 7", "", "+.5", "inf", "nan"}) {
    EXPECT_TRUE(Str(text).isNumeric()) << '"' << text << '"';
  }
  for (const char* text : {"7 ", "abc", "-", "%", "1e", "item", ".", "1.2.3"}) {
    EXPECT_FALSE(Str(text).isNumeric()) << '"' << text << '"';
  }
  EXPECT_TRUE(RpnToken().isNumeric());
  // A NUL inside the text is not the end of it.
  EXPECT_FALSE(Str(std::string("5\0x", 3)).isNumeric());

  for (const char* text : {"TRUE", "FALSE", "true", "false"}) {
    EXPECT_TRUE(Str(text).isBoolean()) << text;
  }
  EXPECT_FALSE(Str("True").isBoolean());
  EXPECT_TRUE(Str("true").asBoolean());
  for (const char* text : {"True", "1", "FALSE", ""}) {
    EXPECT_FALSE(Str(text).asBoolean()) << text;
  }
}

TEST(RpnToken, ConversionsAndConstructors) {
  EXPECT_EQ(3, Str("3.9").asLong());
  EXPECT_EQ(0, Str("abc").asLong());
  EXPECT_EQ(LONG_MAX, Str("99999999999999999999999").asLong());
  EXPECT_DOUBLE_EQ(2.5, Str("2.5abc").asDouble());
  EXPECT_TRUE(RpnToken().isVoid());
  EXPECT_EQ("TRUE", RpnToken(true).value);
  EXPECT_TRUE(RpnToken(2.5).isLiteral());
  EXPECT_EQ("2.500000", RpnToken(2.5).value);
  EXPECT_EQ("0.333333", RpnToken(1.0 / 3.0).value);
}

// Numbers must render exactly as "%lf" does, whichever way they are
// formatted internally.
TEST(RpnToken, NumbersRenderAsPrintfFixedNotation) {
  for (double value :
       {0.0, -0.0, -7.0, 4294967296.0, 9007199254740991.0, 9007199254740992.0,
        1e300, 0.0000005, std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::infinity(), std::nan("")}) {
    char expected[1024];
    std::snprintf(expected, sizeof(expected), "%lf", value);
    EXPECT_EQ(expected, RpnToken::formatNumber(value)) << expected;
  }
  for (long i = 0; i < 100000; i += 7) {
    char expected[64];
    std::snprintf(expected, sizeof(expected), "%lf", static_cast<double>(i));
    ASSERT_EQ(expected, RpnToken::formatNumber(static_cast<double>(i)));
  }
}

// Short decimal texts take a quicker route than strtod; the values must be
// the same doubles, bit for bit.
TEST(RpnToken, ShortDecimalsReadExactlyAsStrtodReadsThem) {
  unsigned seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    if (next() % 4 == 0)
      text += next() % 2 ? '-' : '+';
    const unsigned length = 1 + next() % 17;
    const unsigned point = next() % (length + 2);
    for (unsigned d = 0; d < length; ++d) {
      if (d == point)
        text += '.';
      text += static_cast<char>('0' + next() % 10);
    }
    const double expected = std::strtod(text.c_str(), nullptr);
    double parsed = 0;
    ASSERT_TRUE(RpnToken::numericValue(text, &parsed)) << text;
    const double via_token = Str(text).asDouble();
    ASSERT_EQ(0, std::memcmp(&expected, &parsed, sizeof(double))) << text;
    ASSERT_EQ(0, std::memcmp(&expected, &via_token, sizeof(double))) << text;
  }
}

}  // namespace
