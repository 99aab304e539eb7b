#ifndef VQ_FUZZ_FUZZ_TARGETS_H_
#define VQ_FUZZ_FUZZ_TARGETS_H_

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz targets. Each takes any bytes, runs them through one parser of
// text that comes from outside the agent, and returns false with the reason
// in `failure` when a property the parser promises does not hold. Crashes,
// hangs and sanitizer reports are findings too. The same functions run
// under libFuzzer (fuzz_main.cpp) and in the replay of the committed inputs
// (fuzz_corpus_test.cpp).
namespace vq_fuzz {

// An action document as a received answer: the bounds pre-scan, parse, the
// envelope checks and every action handler, in a scratch data directory
// with a fake application (no launch, no download leaves the machine).
bool FuzzActionDocument(const uint8_t* data, size_t size, std::string* failure);
// Any bytes as the journal ".transaction.dat", then recovery.
bool FuzzJournal(const uint8_t* data, size_t size, std::string* failure);
// A request target (first line) and body (the rest) sent to the command
// server over a fake application.
bool FuzzCommandServer(const uint8_t* data, size_t size, std::string* failure);
// URL decoding and query-string splitting.
bool FuzzQueryString(const uint8_t* data, size_t size, std::string* failure);
// Template expansion.
bool FuzzTemplate(const uint8_t* data, size_t size, std::string* failure);
// Permission strings, strict and extended grammar.
bool FuzzPermissions(const uint8_t* data, size_t size, std::string* failure);
// The server list file "vqconnect.xml".
bool FuzzConnectSettings(const uint8_t* data, size_t size, std::string* failure);
// The feed file "vqfeed.xml" made into request parameters.
bool FuzzFeedSettings(const uint8_t* data, size_t size, std::string* failure);
// Any bytes as an HTTP answer from a loopback server, headers collected.
bool FuzzResponseHeaders(const uint8_t* data, size_t size, std::string* failure);
// The XML bounds pre-scan against what TinyXML builds from the same text.
bool FuzzXmlBounds(const uint8_t* data, size_t size, std::string* failure);

}  // namespace vq_fuzz

#endif  // VQ_FUZZ_FUZZ_TARGETS_H_
