#ifndef VQ_CMDSERVER_MONGOOSE_H_
#define VQ_CMDSERVER_MONGOOSE_H_

#include <apr_pools.h>

#include <cstddef>
#include <memory>
#include <string>

#include "cmdserver/command_target.h"
#include "cmdserver/file_access.h"
#include "cmdserver/request_gate.h"

struct mg_connection;
struct mg_context;
struct mg_request_info;

namespace http {
class QueryString;
}
namespace log4cpp {
class Category;
}

// The local command server: an HTTP server on 127.0.0.1 that lets local
// programs wake the update thread, quit, read and set variables, submit an
// action document, launch programs and read the files of the data directory.
//
// Construction starts it on the first free port from `firstPort` upwards and
// publishes "vq.server" (the address) and "vq.server.key" (a fresh access key)
// in the data directory, the value of "dir.data", both readable by the owner
// only. Destruction stops it and removes both files. The library's worker
// threads call the handlers several at once; after construction the instance
// is only read (apart from the gate, which guards itself).
//
// It is an API for local programs on a shared machine, so it trusts nobody:
// the key never reaches a log; only regular files of the data directory that
// are not the agent's private files are served, by GET and HEAD, with no
// CGI, SSI, listings, writing methods or CORS headers; requests that a
// browser marks as cross-site are refused; slow clients are cut off after
// kRequestTimeoutMs; and every text taken from a request is escaped and cut
// before it is logged.
class Mongoose {
 public:
  // Largest request body "/~cmd/process" accepts, in bytes.
  static constexpr std::size_t kMaxProcessBody = 16 * 1024 * 1024;
  // Tries with the next free port when the library cannot bind the probed
  // one (another process may take it between the probe and the bind).
  static constexpr int kStartAttempts = 8;
  // Worker threads serving requests, as civetweb option text. Each open
  // connection holds one until it is answered or timed out, so this many
  // minus one idle or slow connections still leave a fresh request served;
  // an idle worker costs only its stack pages actually touched.
  static constexpr const char* kWorkerThreads = "40";
  // How long a client may take to send its request, and the bound on each
  // read and write of a connection, in milliseconds (civetweb option text).
  // A loopback client sends a request at once; holding a worker longer
  // only helps someone trying to starve the server.
  static constexpr const char* kRequestTimeoutMs = "5000";

  // Throws a std::string ("Failed to find a port to bind to for webserver",
  // "Failed to start Mongoose") when it cannot start; no file is written
  // then. `pool` must outlive the instance; `target` too.
  Mongoose(apr_pool_t* pool, CommandTarget* target,
           unsigned short firstPort = 8080);
  // Refuses new requests (503), waits for the ones being handled to finish
  // their replies, then stops the library and removes both files.
  ~Mongoose();

  Mongoose(const Mongoose&) = delete;
  Mongoose& operator=(const Mongoose&) = delete;

  // The first port from `first` to `last` (0: 65535) that a socket can bind
  // on 127.0.0.1, or 0 when none can.
  static unsigned short findOpenPort(unsigned short first, unsigned short last,
                                     apr_pool_t* pool);
  // The header lines that forbid caching of a reply.
  static const char* nocache();
  // The category "mongoose".
  static log4cpp::Category& getLog();

  unsigned short port() const { return port_; }
  const std::string& key() const { return key_; }

  // True when the request's "key" parameter equals the key; otherwise sends
  // the 403 refusal and returns false.
  bool checkKey(mg_connection* conn, http::QueryString& query) const;

 private:
  // Every request passes here, and the library handles none itself: while
  // the server runs (see gate_), dispatch answers it; an exception becomes
  // the 500 reply.
  int beginRequest(mg_connection* conn);
  // The Host check, the cross-site refusal, the key file refusal, the
  // commands; anything else is a file for serveFile.
  int dispatch(mg_connection* conn, const mg_request_info* info);
  int cmd_callback(mg_connection* conn, const mg_request_info* info);
  int serverkey_callback(mg_connection* conn, const mg_request_info* info);
  // True when `path` would reach the key file through any spelling or link.
  bool servesKeyFile(const std::string& path) const;
  // Sends a regular, non-private file of the data directory, or refuses.
  int serveFile(mg_connection* conn, const mg_request_info* info);
  // `text` from a request made fit for one log line: the key and any "key"
  // parameter's value hidden, control characters escaped, cut at `limit`.
  std::string forLog(const std::string& text, std::size_t limit) const;
  std::string forLog(const std::string& text) const;
  int sendException(mg_connection* conn, const std::string& text) const;

  int cmdQuit(mg_connection* conn, http::QueryString& query);
  int cmdInfo(mg_connection* conn);
  int cmdSet(mg_connection* conn, http::QueryString& query,
             const std::string& rest);
  int cmdProcess(mg_connection* conn, http::QueryString& query,
                 const mg_request_info* info);
  int cmdLaunch(mg_connection* conn, http::QueryString& query);

  void removeFiles() const;
  void writeFile(const char* name, const std::string& content) const;
  std::string dataPath(const char* name) const;

  static int stat_begin_request(mg_connection* conn);
  static int stat_log_callback(const mg_connection* conn, const char* message);

  apr_pool_t* pool_;
  mg_context* ctx_ = nullptr;
  CommandTarget* application_;
  unsigned short port_ = 0;
  std::string key_;
  std::string dataDir_;
  std::unique_ptr<const cmdserver::FileAccess> files_;
  cmdserver::RequestGate gate_;
};

#endif  // VQ_CMDSERVER_MONGOOSE_H_
