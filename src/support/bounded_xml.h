#ifndef VQ_SUPPORT_BOUNDED_XML_H_
#define VQ_SUPPORT_BOUNDED_XML_H_

#include <cstddef>
#include <string>

#include "support/bounded_file.h"
#include "support/input_bounds.h"

class TiXmlDocument;

// TinyXML parses, copies, prints and destroys documents recursively, one
// stack frame set per level of element nesting. Every XML text the agent
// reads from outside (server responses, submitted documents, the feed file,
// files edited or tested by actions) therefore goes through these functions,
// which refuse a text that is larger, nests deeper or holds more nodes
// than a fixed bound before TinyXML sees it. The pre-scan is iterative and
// linear.

// Bounds applied by default (sizes explained in support/input_bounds.h).
constexpr std::size_t kMaxXmlDepth = vq_bounds::kMaxXmlDepth;
constexpr std::size_t kMaxXmlBytes = vq_bounds::kMaxXmlBytes;
constexpr std::size_t kMaxXmlNodes = vq_bounds::kMaxXmlNodes;

struct XmlBounds {
  std::size_t maxDepth = kMaxXmlDepth;
  std::size_t maxBytes = kMaxXmlBytes;
  // Elements, attributes, comments, CDATA sections, declarations and
  // non-blank text runs, each of which becomes one TinyXML object. The
  // count never falls below what TinyXML builds.
  std::size_t maxNodes = kMaxXmlNodes;
};

// The small bounds for a text that is parsed only to be refused (an answer
// whose signature does not verify).
inline XmlBounds untrustedXmlBounds() {
  XmlBounds bounds;
  bounds.maxBytes = vq_bounds::kMaxUnsignedXmlBytes;
  bounds.maxNodes = vq_bounds::kMaxUnsignedXmlNodes;
  return bounds;
}

// Checks `length` bytes of `text` (or up to a NUL) against `bounds`
// without parsing it. Counts element nesting the way TinyXML builds it:
// comments, CDATA sections, "<!...>" and "<?...?>" constructs and quoted
// attribute values open no element. Where TinyXML's reading could differ
// from this scan, the text is refused rather than guessed at, so the count
// never falls below TinyXML's: a "<?...>" construct whose quoted value holds
// "<", ">", "=" or the other quote or whose quote is not introduced by "=",
// and a character TinyXML would read as one that takes in a "<" or a quote
// (a UTF-8 lead byte's character when it may read UTF-8, a reference "&#...;").
// Returns false with the reason in `why` (when not null).
bool checkXmlBounds(const char* text, std::size_t length,
                    const XmlBounds& bounds, std::string* why);

// Parses `length` bytes of `text` (which must be NUL-terminated at `length`
// or earlier; TinyXML reads up to the NUL) into `document` with TinyXML's
// default encoding and white-space condensing. Returns false and sets `why`
// (when not null) to the refusal or the parser's error text when the text
// is out of bounds or does not parse. A refused text leaves `document`
// untouched.
bool loadBoundedXml(TiXmlDocument& document, const char* text,
                    std::size_t length, std::string* why,
                    const XmlBounds& bounds = XmlBounds());

// Parses `text` up to its first NUL (or `length` bytes; the byte at `length`
// must be NUL) into `document` with TinyXML's default encoding, and never
// further: TinyXML steps over a whole UTF-8 character from its lead byte,
// also over the NUL that ends the text, and would read on into what follows
// it. Every text read from outside reaches TinyXML through it.
void parseXmlText(TiXmlDocument& document, const char* text,
                  std::size_t length);

// The same for a file, read as bytes with line ends normalised to "\n" as
// TinyXML's own file loading does. Only a regular file of at most
// `bounds.maxBytes` bytes is read (see vq_support::readRegularFile): a
// FIFO, device or directory is refused without blocking. A file that cannot
// be read yields false with the reason in `why`; `status` (when not null)
// tells how the read went, kRead also when the text then fails to parse.
bool loadBoundedXmlFile(TiXmlDocument& document, const char* path,
                        std::string* why,
                        const XmlBounds& bounds = XmlBounds(),
                        vq_support::FileReadStatus* status = nullptr);

#endif  // VQ_SUPPORT_BOUNDED_XML_H_
