#ifndef VQ_RPN_RPN_TOKENIZER_H_
#define VQ_RPN_RPN_TOKENIZER_H_

#include <string>

// Splits RPN text into words and quoted texts and hands each to a callback.
//
// Quotes (single or double) have no escapes: a quoted text runs to the next
// occurrence of the same quote character, or to the end of the text. Outside
// quotes, "]" ends the expression (it closes a path filter) and is never a
// token. No separator is needed after a closing quote: 'a'b is "a" then b.
class RpnTokenizer {
 public:
  RpnTokenizer() = default;
  RpnTokenizer(const RpnTokenizer&) = default;
  RpnTokenizer& operator=(const RpnTokenizer&) = default;
  virtual ~RpnTokenizer() = default;

  // Called for each unquoted word. The default writes it to standard output.
  virtual void literal(std::string token);
  // Called for each quoted text. The default writes it to standard output
  // between double quotes.
  virtual void string(std::string token);

  // Tokenizes the NUL-terminated `text`. Returns where tokenizing stopped:
  // just after a closing "]" outside quotes, or at the terminating NUL. A
  // null `text` gives no tokens and returns null.
  const char* parse(const char* text);
};

#endif  // VQ_RPN_RPN_TOKENIZER_H_
