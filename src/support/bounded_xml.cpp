#include "support/bounded_xml.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "support/string_util.h"

namespace {

bool isXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

// TinyXML starts an element at "<" followed by a letter, "_" or any byte
// from 127 up (it takes those for UTF-8 letters).
bool startsElementName(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 127 || c == '_' || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z');
}

// Whether the text from `p` to `end` begins with `prefix`.
bool remainingStartsWith(const char* p, const char* end, const char* prefix) {
  return vq_support::StartsWith(
      std::string_view(p, static_cast<std::size_t>(end - p)), prefix);
}

// Position just after the first occurrence of `terminator` at or after `p`,
// or `end` when there is none (TinyXML then reads to the end as well).
const char* skipPast(const char* p, const char* end, const char* terminator) {
  const std::size_t n = std::strlen(terminator);
  for (; p + n <= end; ++p) {
    if (std::memcmp(p, terminator, n) == 0) return p + n;
  }
  return end;
}

void setWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

// Reads a "<?...>" construct from just after "<?". Returns the position
// after its ">" (or `end`), or null when its quoting is ambiguous. A quoted
// run is accepted only after "=" and only when it holds none of < > = and
// no quote of the other kind: then TinyXML's declaration parser, which takes
// quotes only as attribute values after "=", ends at the same ">".
const char* skipProcessingInstruction(const char* p, const char* end) {
  char previous = '\0';  // last non-space character seen
  while (p < end) {
    const char c = *p;
    if (c == '>') return p + 1;
    if (c == '"' || c == '\'') {
      if (previous != '=') return nullptr;
      const char* q = p + 1;
      while (q < end && *q != c) {
        if (*q == '<' || *q == '>' || *q == '=' || *q == '"' || *q == '\'') {
          return nullptr;
        }
        ++q;
      }
      if (q == end) return nullptr;
      p = q + 1;
      previous = c;
      continue;
    }
    if (!isXmlSpace(c)) previous = c;
    ++p;
  }
  return end;
}

// The number of bytes TinyXML takes as one character from `c` when it reads
// UTF-8 (its own table: the lead bytes of two-, three- and four-byte
// characters; any other byte is one character).
int utf8Span(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0xC2 && u <= 0xDF) return 2;
  if (u >= 0xE0 && u <= 0xEF) return 3;
  if (u >= 0xF0 && u <= 0xF4) return 4;
  return 1;
}

// Whether a character read as UTF-8 would take in a "<" or a quote. TinyXML
// steps over a whole character in texts and quoted values, so it would end
// that text or value elsewhere than this scan. Valid UTF-8 never does this.
bool leadByteSwallowsMarkup(const char* p, const char* end) {
  for (; p < end; ++p) {
    const int span = utf8Span(*p);
    for (int i = 1; i < span && p + i < end; ++i) {
      if (p[i] == '<' || p[i] == '"' || p[i] == '\'') return true;
    }
  }
  return false;
}

// Whether a character reference would take in a "<" or a quote. TinyXML
// reads from "&#" to the next ";" as one reference when only digits stand
// between that ";" and the "#" or "x" nearest before it, whatever comes
// before those, so it would end a text or quoted value elsewhere than this
// scan. A real reference holds no "<" and no quote.
bool referenceSwallowsMarkup(const char* p, const char* end) {
  const auto nextOf = [end](const char* from, const char* wanted) {
    while (from < end && !std::strchr(wanted, *from)) ++from;
    return from;
  };
  // The next ";" and the next "<" or quote, searched again only once passed,
  // so that the whole scan stays linear.
  const char* semicolon = p;
  const char* markup = p;
  for (; p + 1 < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '&', end - 1 - p));
    if (!p) break;
    if (p[1] != '#') continue;
    if (semicolon < p + 2) semicolon = nextOf(p + 2, ";");
    if (markup < p + 2) markup = nextOf(p + 2, "<\"'");
    if (semicolon < end && markup < semicolon) return true;
  }
  return false;
}

// Whether the text from `p` to `end` begins with `prefix`, without case.
bool remainingStartsWithIgnoringCase(const char* p, const char* end,
                                     const char* prefix) {
  return vq_support::StartsWithIgnoringCase(
      std::string_view(p, static_cast<std::size_t>(end - p)), prefix);
}

// Whether an "<?xml ...>" declaration (from just after "<?xml" to its end)
// surely makes TinyXML read the text in another encoding than UTF-8: one
// "encoding" name where TinyXML looks for names (at the start, after white
// space or after a quoted value), given a quoted value that is neither empty
// nor UTF-8 and holds no entity (TinyXML would decode one first). Anything
// else may mean UTF-8.
bool declaresOtherEncoding(const char* p, const char* end) {
  const char* value = nullptr;
  const char* valueEnd = nullptr;
  int names = 0;
  bool atName = true;
  while (p < end) {
    if (*p == '"' || *p == '\'') {
      const char* close =
          static_cast<const char*>(std::memchr(p + 1, *p, end - p - 1));
      if (!close) return false;
      p = close + 1;
      atName = true;
    } else if (atName && remainingStartsWithIgnoringCase(p, end, "encoding")) {
      ++names;
      const char* q = p + 8;
      while (q < end && isXmlSpace(*q)) ++q;
      if (q == end || *q != '=') return false;
      ++q;
      while (q < end && isXmlSpace(*q)) ++q;
      if (q == end || (*q != '"' && *q != '\'')) return false;
      value = q + 1;
      valueEnd = static_cast<const char*>(std::memchr(value, *q, end - value));
      if (!valueEnd) return false;
      p = valueEnd + 1;
    } else {
      atName = isXmlSpace(*p);
      ++p;
    }
  }
  return names == 1 && value != valueEnd &&
         !std::memchr(value, '&', valueEnd - value) &&
         !remainingStartsWithIgnoringCase(value, valueEnd, "utf-8") &&
         !remainingStartsWithIgnoringCase(value, valueEnd, "utf8");
}

// Reads the rest of a start tag from just after its name. Sets
// `selfClosing` for "/>" and adds to `attributes` one per "=" outside
// quotes (TinyXML builds at most one attribute per "="). Quoted runs are
// skipped whole: TinyXML reads a quote only as an attribute value (anything
// else is its parse error, after which nothing more is built).
const char* skipStartTag(const char* p, const char* end, bool* selfClosing,
                         std::size_t* attributes) {
  *selfClosing = false;
  while (p < end) {
    const char c = *p;
    if (c == '>') return p + 1;
    if (c == '/' && p + 1 < end && p[1] == '>') {
      *selfClosing = true;
      return p + 2;
    }
    if (c == '=') ++*attributes;
    if (c == '"' || c == '\'') {
      const char* q =
          static_cast<const char*>(std::memchr(p + 1, c, end - p - 1));
      if (!q) return end;
      p = q + 1;
      continue;
    }
    ++p;
  }
  return end;
}

}  // namespace

bool checkXmlBounds(const char* text, std::size_t length,
                    const XmlBounds& bounds, std::string* why) {
  if (!text) {
    setWhy(why, "no XML text");
    return false;
  }
  const void* nul = std::memchr(text, '\0', length);
  if (nul) length = static_cast<const char*>(nul) - text;
  if (length > bounds.maxBytes) {
    setWhy(why, "XML text of " + std::to_string(length) +
                    " bytes exceeds the limit of " +
                    std::to_string(bounds.maxBytes) + " bytes");
    return false;
  }

  const char* p = text;
  const char* const end = text + length;
  std::size_t depth = 0;
  std::size_t nodes = 0;
  // TinyXML reads UTF-8 after a byte order mark or a declaration that names
  // no other encoding.
  bool mayReadUtf8 = remainingStartsWith(p, end, "\xEF\xBB\xBF");
  while (p < end) {
    const char* lt = static_cast<const char*>(std::memchr(p, '<', end - p));
    // Text between markup becomes a node unless it is all white space.
    const char* const textEnd = lt ? lt : end;
    for (const char* q = p; q < textEnd; ++q) {
      if (!isXmlSpace(*q)) {
        ++nodes;
        break;
      }
    }
    if (nodes > bounds.maxNodes) break;
    if (!lt) break;
    p = lt;
    ++nodes;  // whatever "<" starts, except an end tag (taken back below)
    if (remainingStartsWith(p, end, "<!--")) {
      p = skipPast(p + 4, end, "-->");
    } else if (remainingStartsWith(p, end, "<![CDATA[")) {
      p = skipPast(p + 9, end, "]]>");
    } else if (remainingStartsWith(p, end, "</")) {
      p = skipPast(p + 2, end, ">");
      // An end tag closes its element and builds nothing; outside any
      // element TinyXML keeps it as a node of its own.
      if (depth > 0) {
        --nodes;
        --depth;
      }
    } else if (remainingStartsWith(p, end, "<?")) {
      const char* const start = p;
      p = skipProcessingInstruction(p + 2, end);
      if (!p) {
        setWhy(why, "ambiguous quoting in an XML declaration or processing "
                    "instruction");
        return false;
      }
      if (remainingStartsWithIgnoringCase(start + 2, p, "xml") &&
          !declaresOtherEncoding(start + 5, p)) {
        mayReadUtf8 = true;
      }
    } else if (p + 1 < end && startsElementName(p[1])) {
      bool selfClosing = false;
      p = skipStartTag(p + 1, end, &selfClosing, &nodes);
      if (!selfClosing && ++depth > bounds.maxDepth) {
        setWhy(why, "XML elements nest deeper than " +
                        std::to_string(bounds.maxDepth) + " levels");
        return false;
      }
    } else {
      // "<!DOCTYPE ...>" and any other "<" construct: TinyXML reads it up to
      // the first ">" whatever it contains.
      p = skipPast(p + 1, end, ">");
    }
    if (nodes > bounds.maxNodes) break;
  }
  if (nodes > bounds.maxNodes) {
    setWhy(why, "XML text holds more than " + std::to_string(bounds.maxNodes) +
                    " nodes");
    return false;
  }
  if (referenceSwallowsMarkup(text, end)) {
    setWhy(why, "XML text holds a character reference that takes in \"<\" "
                "or a quote");
    return false;
  }
  if (mayReadUtf8 && leadByteSwallowsMarkup(text, end)) {
    setWhy(why, "XML text holds a UTF-8 lead byte followed by \"<\" or a "
                "quote within its character");
    return false;
  }
  return true;
}

void parseXmlText(TiXmlDocument& document, const char* text,
                  std::size_t length) {
  const void* nul = std::memchr(text, '\0', length);
  if (nul) length = static_cast<const char*>(nul) - text;
  // A step from a lead byte is at most four bytes, so only a lead byte among
  // the last three can step past the end; then the text is parsed from a
  // copy that ends in four NULs.
  constexpr std::size_t kLongestStep = 4;
  const std::size_t tail = std::min(length, kLongestStep - 1);
  const bool leadNearEnd =
      std::any_of(text + length - tail, text + length,
                  [](char c) { return utf8Span(c) > 1; });
  if (!leadNearEnd) {
    document.Parse(text, nullptr, TIXML_DEFAULT_ENCODING);
    return;
  }
  std::string padded(text, length);
  padded.append(kLongestStep, '\0');
  document.Parse(padded.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
}

bool loadBoundedXml(TiXmlDocument& document, const char* text,
                    std::size_t length, std::string* why,
                    const XmlBounds& bounds) {
  if (!checkXmlBounds(text, length, bounds, why)) return false;
  // Row and column tracking costs a tenth of the parse and nothing here
  // reports positions; a tab size of 0 switches it off.
  document.SetTabSize(0);
  parseXmlText(document, text, length);
  if (document.Error()) {
    setWhy(why, document.ErrorDesc());
    return false;
  }
  return true;
}

bool loadBoundedXmlFile(TiXmlDocument& document, const char* path,
                        std::string* why, const XmlBounds& bounds,
                        vq_support::FileReadStatus* status) {
  std::string buffer;
  const vq_support::FileReadStatus read = vq_support::readRegularFile(
      path ? path : "", bounds.maxBytes, &buffer, why);
  if (status) *status = read;
  if (read != vq_support::FileReadStatus::kRead) return false;

  // TinyXML's own file loading normalises line ends before parsing;
  // parsing from memory does not, so do it here to read files the same way.
  vq_support::normalizeLineEnds(buffer);
  return loadBoundedXml(document, buffer.c_str(), buffer.size(), why, bounds);
}
