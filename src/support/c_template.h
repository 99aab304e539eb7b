#ifndef VQ_SUPPORT_C_TEMPLATE_H_
#define VQ_SUPPORT_C_TEMPLATE_H_

#include <map>
#include <string>

// Expands "${name}" references in a text from a set of named values, in one
// pass (values are not expanded again).
//
//   "$$"            -> "$"
//   "$" + other     -> "$", the other character read normally
//   "${name}"       -> the value of name; "${@name}" URL-encodes it
//   unknown name    -> "${name}" unchanged (an "@" marker is dropped)
//   "${" with no "}" after it -> "${", the rest read normally
//
// A name is everything between "${" and the first "}" after it; there is no
// nesting. URL encoding keeps ASCII letters and digits, turns a space into
// "+" and every other byte into "%" and two lowercase hex digits.
//
// Not thread-safe; build one per use.
class CTemplate {
 public:
  // parsef renders into this many bytes; longer results are cut to one less.
  static constexpr size_t kFormatBufferSize = 2048;

  CTemplate() = default;

  // Enters or replaces one value. A null value is stored as the empty text.
  void set(const char* name, const char* value);
  // Sets every pair of `values`, replacing existing names.
  void add(const std::map<std::string, std::string>& values);
  // Removes one name; nothing happens when it is absent.
  void clear(const char* name);
  // Removes all names.
  void clear();

  // Expands `text` (null is taken as empty). The reference stays valid until
  // the next expansion on this template.
  const std::string& parse(const char* text);
  // Renders `format` like printf, cut to kFormatBufferSize - 1 bytes, then
  // expands the result.
  const std::string& parsef(const char* format, ...)
      __attribute__((format(printf, 2, 3)));

  static std::string urlEncode(const std::string& value);

 private:
  std::map<std::string, std::string> values;
  std::string result;
};

#endif  // VQ_SUPPORT_C_TEMPLATE_H_
