#ifndef VQ_RPN_RPN_TOKEN_H_
#define VQ_RPN_RPN_TOKEN_H_

#include <string>

// One value of the RPN language. Every value is text; whether it is a number
// or a boolean is decided from the text whenever an operator needs to know.
class RpnToken {
 public:
  // The numbering is part of the data model and must not change.
  enum RpnType : int { RpnVoid = 0, RpnString = 1, RpnLiteral = 2 };

  // A void token: no value, empty text.
  RpnToken();
  // The literal "TRUE" or "FALSE".
  explicit RpnToken(bool value);
  // The literal "%lf" rendering of `value`.
  explicit RpnToken(double value);
  RpnToken(const char* text, RpnType type);
  RpnToken(std::string text, RpnType type);

  RpnToken(const RpnToken&) = default;
  RpnToken(RpnToken&&) noexcept = default;
  RpnToken& operator=(const RpnToken&) = default;
  RpnToken& operator=(RpnToken&&) noexcept = default;

  bool isVoid() const { return type == RpnVoid; }
  bool isString() const { return type == RpnString; }
  bool isLiteral() const { return type == RpnLiteral; }

  // True when strtod consumes the whole text. Looks at the text only, never
  // at `type`; the empty text (and so a void token) counts as the number 0.
  bool isNumeric() const;
  // True for exactly "TRUE", "FALSE", "true" and "false".
  bool isBoolean() const;

  // True only for the texts "TRUE" and "true".
  bool asBoolean() const;
  // The leading integer part of the text (0 when there are no digits);
  // values out of range saturate at LONG_MIN / LONG_MAX.
  long asLong() const;
  // The leading floating-point part of the text (0 when there is none).
  double asDouble() const;
  const std::string& asString() const { return value; }
  const std::string& asLiteral() const { return value; }

  // Writes the token to standard output: a string between double quotes, a
  // literal unchanged, a void token as VOID. Diagnostic only.
  void debug() const;

  // Whether `text` is numeric (as isNumeric() decides) and, if so, its value
  // (as asDouble() gives it), in one pass over the text.
  static bool numericValue(const std::string& text, double* number);

  // Renders `value` as printf's "%lf" does (fixed notation, six decimals).
  static std::string formatNumber(double value);

  RpnType type;
  std::string value;
};

#endif  // VQ_RPN_RPN_TOKEN_H_
