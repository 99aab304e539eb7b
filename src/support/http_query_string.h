#ifndef VQ_SUPPORT_HTTP_QUERY_STRING_H_
#define VQ_SUPPORT_HTTP_QUERY_STRING_H_

#include <log4cpp/Category.hh>

#include <map>
#include <string>

namespace http {

// The BSD strsep: returns the token at *cursor up to the first of
// `delimiters`, overwrites that delimiter with NUL and advances *cursor past
// it; at the last token sets *cursor to null. Returns null when *cursor is
// null.
char* strsep(char** cursor, const char* delimiters);

// URL-encoded parameters ("a=1&b=2") decoded into an ordered map. A later
// occurrence of a name replaces the earlier value; a token without "=" is a
// name with the empty value.
class QueryString {
 public:
  using Map = std::map<std::string, std::string>;
  using iterator = Map::iterator;
  using const_iterator = Map::const_iterator;

  // `text` may be null.
  explicit QueryString(const char* text);

  // "+" becomes a space and "%XY" with two hexadecimal digits the byte XY;
  // a malformed escape stays as written.
  static std::string urlDecode(const char* text);

  // When debug is enabled on `category`, logs each pair as name=value at
  // debug priority on the child category "<name>.vars". The value of the
  // "key" parameter, an access secret, is never written; every name and
  // value is made safe for one log line.
  void debug(log4cpp::Category& category) const;

  // Text shown in logs instead of a secret value.
  static constexpr const char* kHiddenValue = "[hidden]";

  // `text` with the value of every "key" parameter replaced by kHiddenValue:
  // each "key=" that starts the text or follows a character other than a
  // letter, digit, "_", "." or "-", up to the next "&", white space, quote,
  // "<" or ">". Works on query strings, request lines and form-encoded
  // bodies alike, so it can be applied to any text from a request before it
  // is logged.
  static std::string redactKeyParameter(const std::string& text);

  Map& parameters() { return params_; }
  const Map& parameters() const { return params_; }

  iterator find(const std::string& name) { return params_.find(name); }
  const_iterator find(const std::string& name) const {
    return params_.find(name);
  }
  iterator begin() { return params_.begin(); }
  iterator end() { return params_.end(); }
  const_iterator begin() const { return params_.begin(); }
  const_iterator end() const { return params_.end(); }
  // Inserts the empty text for a name not given.
  std::string& operator[](const std::string& name) { return params_[name]; }
  std::size_t count(const std::string& name) const {
    return params_.count(name);
  }
  std::size_t size() const { return params_.size(); }
  bool empty() const { return params_.empty(); }

 private:
  Map params_;
  Map extra_;  // reserved for a second kind of pair; always empty
};

}  // namespace http

#endif  // VQ_SUPPORT_HTTP_QUERY_STRING_H_
