#include "support/path.h"

#include <cstring>

path::path(const char* text) : text_(text ? text : "") {
  normalise();
}

path::path(const std::string& text) : text_(text.c_str()) {
  normalise();
}

path& path::normalise() {
  return *this;
}

path& path::operator<<(const char* component) {
  if (component == nullptr || *component == '\0')
    return *this;
  if (text_.empty()) {
    text_ = component;
  } else if (text_.back() == '/') {
    text_ += component[0] == '/' ? component + 1 : component;
  } else {
    if (component[0] != '/')
      text_ += '/';
    text_ += component;
  }
  return *this;
}

path& path::operator<<(const std::string& component) {
  return *this << component.c_str();
}

path& path::appendToName(const char* text) {
  if (text)
    text_ += text;
  return *this;
}

std::string path::parent() const {
  const std::string::size_type slash = text_.rfind('/');
  return slash == std::string::npos ? std::string() : text_.substr(0, slash);
}

std::string path::basename() const {
  const std::string::size_type slash = text_.rfind('/');
  return slash == std::string::npos ? text_ : text_.substr(slash + 1);
}

std::string path::suffix() const {
  const std::string name = basename();
  const std::string::size_type dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string path::str_without_trailing_slash() const {
  if (!text_.empty() && text_.back() == '/') {
    return text_.substr(0, text_.size() - 1);
  }
  return text_;
}
