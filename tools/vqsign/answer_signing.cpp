#include "vqsign/answer_signing.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "web/answer_protocol.h"

namespace vqtools {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameCharacter(char c) {
  return !isSpace(c) && c != '/' && c != '>' && c != '=' && c != '\0';
}

// The position just after the construct that starts at |at| and ends with
// |end|, or npos.
size_t skipPast(const std::string& text, size_t at, const char* end) {
  const size_t found = text.find(end, at);
  return found == std::string::npos ? found : found + std::strlen(end);
}

// The position of the '<' of the root element's start tag: after the XML
// declaration, processing instructions, comments and a document type.
size_t rootStart(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    if (isSpace(text[at])) {
      ++at;
    } else if (text.compare(at, 2, "<?") == 0) {
      at = skipPast(text, at, "?>");
    } else if (text.compare(at, 4, "<!--") == 0) {
      at = skipPast(text, at, "-->");
    } else if (text.compare(at, 2, "<!") == 0) {
      at = skipPast(text, at, ">");
    } else if (text[at] == '<') {
      return at;
    } else {
      return std::string::npos;
    }
    if (at == std::string::npos) return at;
  }
  return std::string::npos;
}

}  // namespace

std::string secondSignature(const RsaSigner& signer, const std::string& nonce,
                            const std::string& body) {
  if (!vq_answer::isWellFormedNonce(nonce)) {
    throw std::invalid_argument(
        "a nonce is 32 lower-case hexadecimal digits");
  }
  const std::string signedBody = body.substr(0, body.find('\0'));
  return signer.signSha256Base64(
      vq_answer::secondSignatureMessage(nonce, signedBody));
}

bool stampExpiry(const std::string& document, const std::string& expiry,
                 std::string* stamped, std::string* error) {
  const size_t start = rootStart(document);
  if (start == std::string::npos || start + 1 >= document.size() ||
      !isNameCharacter(document[start + 1])) {
    *error = "the document has no root element";
    return false;
  }
  size_t at = start + 1;
  while (at < document.size() && isNameCharacter(document[at])) ++at;
  const size_t nameEnd = at;
  // Walk the attributes of the start tag, looking for an "expires".
  for (;;) {
    while (at < document.size() && isSpace(document[at])) ++at;
    if (at >= document.size()) break;
    if (document[at] == '>' || document[at] == '/') break;
    const size_t attributeName = at;
    while (at < document.size() && isNameCharacter(document[at])) ++at;
    const std::string name =
        document.substr(attributeName, at - attributeName);
    while (at < document.size() && isSpace(document[at])) ++at;
    if (at >= document.size() || document[at] != '=') break;
    ++at;
    while (at < document.size() && isSpace(document[at])) ++at;
    if (at >= document.size() ||
        (document[at] != '"' && document[at] != '\'')) {
      break;
    }
    const char quote = document[at];
    const size_t valueStart = at + 1;
    const size_t valueEnd = document.find(quote, valueStart);
    if (valueEnd == std::string::npos) break;
    if (name == vq_answer::kExpiresAttribute) {
      *stamped = document.substr(0, valueStart) + expiry +
                 document.substr(valueEnd);
      return true;
    }
    at = valueEnd + 1;
  }
  *stamped = document.substr(0, nameEnd) + " " +
             vq_answer::kExpiresAttribute + "=\"" + expiry + "\"" +
             document.substr(nameEnd);
  return true;
}

bool expiryFromArguments(const std::string& expiresIn,
                         const std::string& expires, std::int64_t now,
                         std::int64_t* expiry) {
  if (!expires.empty()) return vq_answer::parseExpiry(expires, expiry);
  char* end = nullptr;
  const long long seconds = std::strtoll(expiresIn.c_str(), &end, 10);
  if (expiresIn.empty() || *end != '\0' || seconds <= 0 ||
      seconds > 100LL * 366 * 86400) {
    return false;
  }
  *expiry = now + seconds;
  return true;
}

}  // namespace vqtools
