// Template expansion of the texts of action documents: input is
// "name\nvalue\ntext"; the name and value are set beside fixed ones.
#include <cctype>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "support/c_template.h"

namespace vq_fuzz {
namespace {

// The next line of `text` from `*pos` (without its "\n"), advancing *pos.
std::string NextLine(const std::string& text, size_t* pos) {
  const size_t end = text.find('\n', *pos);
  const size_t stop = end == std::string::npos ? text.size() : end;
  std::string line = text.substr(*pos, stop - *pos);
  *pos = end == std::string::npos ? text.size() : end + 1;
  return line;
}

bool IsUrlEncoded(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isalnum(c) || c == '+') continue;
    if (c != '%' || i + 2 >= text.size()) return false;
    for (size_t k = i + 1; k <= i + 2; ++k) {
      const char h = text[k];
      if (!std::isdigit(static_cast<unsigned char>(h)) && (h < 'a' || h > 'f')) {
        return false;
      }
    }
    i += 2;
  }
  return true;
}

}  // namespace

bool FuzzTemplate(const uint8_t* data, size_t size, std::string* failure) {
  const std::string input = Bytes(data, size);
  size_t pos = 0;
  const std::string name = NextLine(input, &pos);
  const std::string value = NextLine(input, &pos);
  const std::string text = input.substr(pos);

  CTemplate expander;
  expander.set("dir.data", "/data dir");
  expander.set("app.name", "Demo & Co");
  expander.set(name.c_str(), value.c_str());
  const std::string result = expander.parse(text.c_str());
  if (std::string(text.c_str()).find('$') == std::string::npos &&
      result != text.c_str()) {
    *failure = "a text without references changed";
    return false;
  }
  const std::string encoded = CTemplate::urlEncode(value);
  if (!IsUrlEncoded(encoded)) {
    *failure = "URL encoding left a reserved byte: " + encoded;
    return false;
  }
  expander.clear(name.c_str());
  expander.parse(text.c_str());
  return true;
}

}  // namespace vq_fuzz
