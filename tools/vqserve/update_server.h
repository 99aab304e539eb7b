#ifndef VQ_VQSERVE_UPDATE_SERVER_H_
#define VQ_VQSERVE_UPDATE_SERVER_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "vqserve/document_source.h"
#include "vqserve/document_template.h"
#include "vqserve/download_folder.h"
#include "vqserve/loopback_address.h"
#include "vqserve/request_log.h"
#include "vqserve/server_options.h"
#include "vqsign/rsa_signer.h"

struct mg_connection;
struct mg_context;

namespace vqtools {

// Everything the server answers with, loaded and checked beforehand.
struct ServerSetup {
  LoopbackAddress address;
  SignMode sign_mode = SignMode::kSign;
  bool second_signature = true;             // "xxx-vq-sig2" for nonces
  std::unique_ptr<RsaSigner> signer;        // null only with kNone
  std::unique_ptr<DocumentSource> updates;  // answers to "vq.php"
  std::unique_ptr<DocumentSource> errors;   // answers to "vqerror.php"
  DownloadFolder downloads;                 // may be closed
  std::unique_ptr<RequestLog> log;          // may be null
  int threads = 4;
};

// The embedded HTTP server. Its handler runs on civetweb's worker threads,
// several at once; everything it touches is immutable after start() or
// guards itself.
class UpdateServer {
 public:
  // The empty action document used when no document was configured.
  static const char kEmptyDocument[];

  explicit UpdateServer(ServerSetup setup);
  ~UpdateServer();  // Stops the server and joins its threads.

  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  // Starts listening. Returns false and fills |error| when civetweb cannot
  // bind or start.
  bool start(std::string* error);

  // Valid after a successful start(): the port listened on, and the base
  // URL without a trailing slash, e.g. "http://127.0.0.1:8123".
  int port() const { return port_; }
  std::string baseUrl() const;

 private:
  struct ContextStopper {
    void operator()(mg_context* context) const;
  };

  static int beginRequest(mg_connection* connection);
  int handle(mg_connection* connection);
  int answerDocument(mg_connection* connection,
                     DocumentSource* source,
                     RequestRecord* record);
  // The signature header lines for |body|; |nonce| is the request's, or
  // empty.
  std::string signatureHeader(const std::string& body,
                              const std::string& nonce) const;
  void writeLog(const RequestRecord& record) const;
  // Writes one line to standard error; workers may warn at the same time.
  void warn(const std::string& text) const;

  ServerSetup setup_;
  mutable std::mutex stderr_mutex_;
  int port_ = 0;
  std::unique_ptr<DocumentTemplate> template_storage_;
  // Published once the port is known; requests that arrive earlier are
  // answered 503.
  std::atomic<const DocumentTemplate*> template_{nullptr};
  std::unique_ptr<mg_context, ContextStopper> context_;
};

}  // namespace vqtools

#endif  // VQ_VQSERVE_UPDATE_SERVER_H_
