#ifndef VQ_RESPONSE_VQ_RESPONSE_PROCESSOR_H_
#define VQ_RESPONSE_VQ_RESPONSE_PROCESSOR_H_

#include <apr_pools.h>

#include <optional>
#include <functional>
#include <string>
#include <utility>

#include "response/answer_freshness.h"
#include "support/c_template.h"

namespace log4cpp {
class Category;
}
class ExceptionReportInterface;
class ThreadExternalInterface;
class TiXmlElement;
class TransactionEngine;
class Web;

// Interprets one action document: a server's answer to an update request or
// to an error report, or a document submitted through the command server.
//
// An answer whose signature is required but does not verify is parsed only
// under small bounds (vq_bounds::kMaxUnsignedXmlBytes and
// kMaxUnsignedXmlNodes): anyone on the network path can send one.
//
// The document is a root element "vq" (any letter case) with "version" 2.0
// and an optional "update" interval in seconds; each "transaction" child
// runs as one crash-safe transaction whose actions (write, web, delete,
// set, quit, error, launch, xmledit, upgrade) the ProcessAction handlers
// turn into transactional operations.
//
// One processor serves one document on one thread and is then destroyed.
// Every operation and temporary object is allocated in the caller's pool.
// Variable references in file names, URLs and launch texts are expanded
// with the variables as they were when the processor was constructed, so a
// "set" action does not affect later actions of the same document.
class VqResponseProcessor {
 public:
  static constexpr const char* LOG_CATEGORY = "vq.responseProcessor";
  static constexpr const char* SIGNATURE_HEADER = "xxx-vq-sig";
  // Used by updateSeconds() when the response named no interval.
  static constexpr long kDefaultUpdateSeconds = 600;

  // `pool` and `threadExternal` are borrowed; `threadExternal` must not be
  // null when transactions run. `originatingUrl` (the server page, or
  // "mongoose" for submitted documents) travels in every VqException.
  VqResponseProcessor(apr_pool_t* pool, ThreadExternalInterface* threadExternal,
                      const char* originatingUrl);
  ~VqResponseProcessor();

  VqResponseProcessor(const VqResponseProcessor&) = delete;
  VqResponseProcessor& operator=(const VqResponseProcessor&) = delete;

  // Checks and runs a server response that has been received. Envelope
  // failures throw VqException before any transaction runs: 105 not XML (or
  // beyond the size and nesting bounds), 5 root is not "vq", 10 bad version,
  // 245 no signature header, 250 bad signature (the last two only when
  // `requireSignature`), 300 to 315 not fresh (see expectFreshAnswer). The
  // interval is read before any transaction runs. `reporter` may be null.
  // Failures inside transactions are handled as processTransactions describes.
  void process(Web& response, ExceptionReportInterface* reporter,
               bool requireSignature);

  // Makes process() check, after the first signature, that the answer is
  // fresh for the request it answers (checkAnswerFreshness: codes 300 to
  // 315). Only signed answers are checked: without "secure.sign" there is
  // nothing to bind. Without this call process() checks no freshness, as
  // for documents that do not answer a request of this agent.
  void expectFreshAnswer(FreshnessExpectation expectation) {
    freshness = std::move(expectation);
  }

  // Runs the "transaction" children of an already checked root element, in
  // document order. A transaction whose handlers raise a VqException or
  // TransactionException is abandoned (its collected operations cleaned up,
  // so their temporary files are removed) and the exception handed to
  // `reporter` when set. "noerrors"="true" skips a transaction once an
  // earlier one failed; "onFailure"="break" ends the document when this one
  // fails. Any other exception (a std::string from the path language, a
  // standard-library error) cleans up the transaction and propagates,
  // ending the document.
  void processTransactions(TiXmlElement* root,
                           ExceptionReportInterface* reporter);

  // Polled by the document's downloads while they run; true cancels them
  // (code 155) so that quitting never waits for a server. By default the
  // external interface's shouldQuit().
  void setCancelCheck(std::function<bool()> cancelled) {
    cancelled_ = std::move(cancelled);
  }

  // The response's interval in seconds, or 600 when it named none (or -1).
  long updateSeconds() const;
  std::string& originatingUrl() { return url; }

  // The action handlers. Each checks its element, does what must happen
  // before the transaction starts (temporary files, downloads), and appends
  // its operations to `engine`, or throws.
  void ProcessActionDelete(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionError(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionLaunch(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionQuit(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionSet(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionUpgrade(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionWeb(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionWrite(TiXmlElement* element, TransactionEngine& engine);
  void ProcessActionXmlEdit(TiXmlElement* element, TransactionEngine& engine);
  // Not dispatched from documents; for test documents processed directly.
  void ProcessActionCrash(TiXmlElement* element, TransactionEngine& engine);

 private:
  // Hands `element` to the handler its name selects; unknown names are
  // skipped.
  void dispatchAction(TiXmlElement* element, TransactionEngine& engine);
  // Runs one transaction element. Returns false when it failed.
  bool runTransaction(TiXmlElement* transaction,
                      ExceptionReportInterface* reporter);
  // Expands variable references in `text` (null is taken as empty).
  std::string expand(const char* text);
  // Whether `file` already has the SHA-256 digest `sha256` names (true when
  // `sha256` is null).
  bool currentSha256Matches(const std::string& file, const char* sha256);
  // Tests one "if" child of a launch element.
  bool launchTestHolds(TiXmlElement* launch, TiXmlElement* test);

  log4cpp::Category& logger;
  apr_pool_t* pool;
  ThreadExternalInterface* threadExternal;
  CTemplate expander;
  long update = -1;
  std::string url;
  std::optional<FreshnessExpectation> freshness;
  std::function<bool()> cancelled_;
};

#endif  // VQ_RESPONSE_VQ_RESPONSE_PROCESSOR_H_
