#ifndef VQ_SUPPORT_INPUT_BOUNDS_H_
#define VQ_SUPPORT_INPUT_BOUNDS_H_

#include <cstddef>

// The bounds on what text from outside (server answers, files named by
// action documents or the feed, settings files) may cost the agent, in one
// place. Anyone on the network path of a plain-HTTP update channel can
// answer an update request, and action documents name local paths, so every
// one of these is reachable by an attacker; each is sized so that the
// largest input it admits stays well within a per-user background agent's
// budget.
namespace vq_bounds {

// Largest update or error-report answer, in bytes, received into memory.
// Larger answers are refused while they arrive (the transfer stops at this
// size). Real action documents are a few KiB to a few MiB (a "write" action
// carries the file it writes); at 16 MiB the receive buffer and its one
// growth copy stay below 64 MiB of resident memory, whatever is sent.
inline constexpr std::size_t kMaxAnswerBytes = 16 * 1024 * 1024;

// An answer whose signature does not verify (or that carries none when one
// is required) is parsed only to say why it is refused: texts larger or with
// more nodes than this are refused as unparsable without building a tree.
// Real refusals (a proxy's error page, a wrong server) are far smaller.
inline constexpr std::size_t kMaxUnsignedXmlBytes = 256 * 1024;
inline constexpr std::size_t kMaxUnsignedXmlNodes = 4096;

// Any XML text the agent parses (signed answers, submitted documents,
// settings and feed files, files tested or edited by actions). TinyXML
// works recursively, so nesting is bounded; each node costs a few hundred
// bytes of tree, so at most this many nodes (elements, attributes, texts,
// comments) keep a document's tree to a few hundred MiB.
inline constexpr std::size_t kMaxXmlDepth = 256;
inline constexpr std::size_t kMaxXmlBytes = 32 * 1024 * 1024;
inline constexpr std::size_t kMaxXmlNodes = 1000 * 1000;

// A file the feed includes travels whole in every update request; larger
// files are skipped with a warning.
inline constexpr std::size_t kMaxIncludeTextBytes = 1024 * 1024;

// Update requests and error reports end after this many seconds whatever
// the server does: a small answer takes far less on any working line, and
// a server that drips its answer must not hold the update thread.
inline constexpr long kRequestDeadlineSeconds = 120;
// Any exchange fails when it stays below the low-speed limit for this many
// seconds (a connection attempt is bounded by the same time).
inline constexpr long kIdleTimeoutSeconds = 30;
// Downloads have no size or time bound (an installer on a slow line may
// take hours) but must keep moving: below this many bytes per second for
// kIdleTimeoutSeconds they fail.
inline constexpr long kDownloadLowSpeedBytesPerSecond = 1024;

}  // namespace vq_bounds

#endif  // VQ_SUPPORT_INPUT_BOUNDS_H_
