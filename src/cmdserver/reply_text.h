#ifndef VQ_CMDSERVER_REPLY_TEXT_H_
#define VQ_CMDSERVER_REPLY_TEXT_H_

#include <string>

namespace cmdserver {

// `text` with &, <, >, " and ' replaced by character references, safe as
// HTML element content and attribute value.
std::string htmlEscape(const std::string& text);

// `text` with every byte other than ASCII letters, digits, "-", ".", "_",
// "~" and "/" written as "%XX", safe inside a relative link.
std::string hrefEscape(const std::string& text);

// `text` with each "]]>" split across two CDATA sections, so that it can be
// placed inside "<![CDATA[" ... "]]>" without ending it early.
std::string cdataSafe(const std::string& text);

// True when `text` holds a control character (CR and LF included), which
// must never reach a header line.
bool hasControlCharacter(const std::string& text);

}  // namespace cmdserver

#endif  // VQ_CMDSERVER_REPLY_TEXT_H_
