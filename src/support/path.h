#ifndef VQ_SUPPORT_PATH_H_
#define VQ_SUPPORT_PATH_H_

#include <string>

// A "/"-separated file-system path held as text. Does no file-system access
// and no normalisation of "." or ".." components. The empty path is valid.
class path {
 public:
  path() = default;
  // Holds `text` (null is taken as the empty path).
  path(const char* text);  // NOLINT(runtime/explicit): used as a value type
  // Holds the string's text up to its first NUL.
  path(const std::string& text);  // NOLINT(runtime/explicit)

  // Leaves the text unchanged; returns the path itself.
  path& normalise();

  // Joins a component with exactly one "/" between: an empty path becomes
  // the component; an empty component changes nothing; otherwise at most one
  // separator is added or removed (a// + b gives a//b, a + //b gives a//b).
  path& operator<<(const char* component);
  path& operator<<(const std::string& component);

  // Appends `text` with no separator (e.g. a backup name "x.xml" + ".bak").
  path& appendToName(const char* text);

  // The text before the last "/"; empty when there is none.
  std::string parent() const;
  // The text after the last "/"; the whole text when there is none.
  std::string basename() const;
  // The text after the last "." of basename(); empty when it has none.
  std::string suffix() const;
  std::string getPlatformPath() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  std::string str() const { return text_; }
  // The text without one trailing "/".
  std::string str_without_trailing_slash() const;

  bool empty() const { return text_.empty(); }

 private:
  std::string text_;
};

#endif  // VQ_SUPPORT_PATH_H_
