#include "cmdserver/mongoose.h"

#include <apr_file_info.h>
#include <apr_file_io.h>
#include <apr_network_io.h>
#include <civetweb.h>
#include <log4cpp/Category.hh>

#include <cstring>

#include "cmdserver/access_key.h"
#include "cmdserver/request_guard.h"
#include "support/apr_pool.h"
#include "support/apr_status.h"
#include "support/http_query_string.h"
#include "support/log_text.h"
#include "support/source_location.h"

namespace {

const char kServerFileName[] = "vq.server";
const char kLoopbackAddress[] = "127.0.0.1";
const char kCommandPrefix[] = "/~cmd/";

// Sends a complete plain-text reply that ends the connection.
int sendPlain(mg_connection* conn, int status, const char* reason,
              const char* text, const char* extraHeaders = "") {
  mg_printf(conn,
            "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\n%s"
            "Connection: close\r\n\r\n%s",
            status, reason, extraHeaders, text);
  return status;
}

}  // namespace

Mongoose::Mongoose(apr_pool_t* pool, CommandTarget* target,
                   unsigned short firstPort)
    : pool_(pool), application_(target) {
  log4cpp::Category& log = getLog();
  dataDir_ = application_->getEnv("dir.data");
  if (dataDir_.empty()) dataDir_ = ".";
  files_ = std::make_unique<const cmdserver::FileAccess>(dataDir_);
  removeFiles();

  // The key exists before the first request can arrive, so no request ever
  // passes checkKey against a partial key.
  key_ = cmdserver::makeAccessKey();

  mg_callbacks callbacks;
  std::memset(&callbacks, 0, sizeof(callbacks));
  callbacks.begin_request = &Mongoose::stat_begin_request;
  callbacks.log_message = &Mongoose::stat_log_callback;

  unsigned short candidate = firstPort;
  for (int attempt = 0; attempt < kStartAttempts && ctx_ == nullptr;
       ++attempt) {
    apr::Pool probePool;
    port_ = findOpenPort(candidate, 0, probePool);
    if (port_ == 0) {
      throw std::string("Failed to find a port to bind to for webserver");
    }
    const std::string ports = std::string(kLoopbackAddress) + ":" +
                              std::to_string(port_);
    // The library's defaults suit a general web server. Every request is
    // answered by beginRequest, which serves plain files itself; the
    // options below also switch off what a loopback API must never do,
    // should a request ever reach the library's own handling: the empty
    // patterns match no file, so nothing runs as CGI or SSI.
    const char* options[] = {"listening_ports", ports.c_str(),
                             "document_root", dataDir_.c_str(),
                             "num_threads", kWorkerThreads,
                             "request_timeout_ms", kRequestTimeoutMs,
                             "enable_directory_listing", "no",
                             "cgi_pattern", "",
                             "ssi_pattern", "",
                             "access_control_allow_origin", "",
                             "access_control_allow_methods", "",
                             "access_control_allow_headers", "",
                             "enable_keep_alive", "no",
                             nullptr};
    ctx_ = mg_start(&callbacks, this, options);
    if (ctx_ == nullptr) {
      log.debug("Could not listen on %s; trying the next free port",
                ports.c_str());
      if (port_ == 65535) break;
      candidate = static_cast<unsigned short>(port_ + 1);
    }
  }
  if (ctx_ == nullptr) {
    port_ = 0;
    throw std::string("Failed to start Mongoose");
  }

  try {
    const std::string host =
        std::string(kLoopbackAddress) + ":" + std::to_string(port_);
    application_->setEnv("mongoose.port", std::to_string(port_));
    application_->setEnv("mongoose.host", host);
    log.debug("Webserver started on %s", host.c_str());
    writeFile(kServerFileName, host);
    writeFile(cmdserver::kKeyFileName, key_);
  } catch (...) {
    // No destructor runs for a constructor that throws.
    mg_stop(ctx_);
    removeFiles();
    throw;
  }
}

Mongoose::~Mongoose() {
  // The library drops every write once mg_stop has begun, so the requests
  // being handled finish first; they may still need the application, which
  // outlives this object.
  gate_.close();
  if (ctx_ != nullptr) mg_stop(ctx_);
  removeFiles();
  ctx_ = nullptr;
}

unsigned short Mongoose::findOpenPort(unsigned short first,
                                      unsigned short last, apr_pool_t* pool) {
  log4cpp::Category& log = getLog();
  apr::Pool scratch(pool);
  apr_socket_t* socket = nullptr;
  if (apr_socket_create(&socket, APR_INET, SOCK_STREAM, APR_PROTO_TCP,
                        scratch) != APR_SUCCESS) {
    log.error("apr_socket_create_failed (%s:%d)", VQ_SOURCE_FILE, __LINE__);
    return 0;
  }
  const unsigned int end = (last == 0) ? 65535u : last;
  unsigned short found = 0;
  for (unsigned int port = first; port != 0 && port <= end; ++port) {
    apr_sockaddr_t* address = nullptr;
    apr_status_t status =
        apr_sockaddr_info_get(&address, kLoopbackAddress, APR_INET,
                              static_cast<apr_port_t>(port), 0, scratch);
    if (status != APR_SUCCESS) {
      apr_socket_close(socket);
      logApr(log4cpp::Priority::ERROR, log, status,
             "apr_sockaddr_info_get failed with port = %u (%s:%d)", port,
             VQ_SOURCE_FILE, __LINE__);
      return 0;
    }
    if (apr_socket_bind(socket, address) == APR_SUCCESS) {
      log.debug("apr_socket_bind succeeded on port %u", port);
      found = static_cast<unsigned short>(port);
      break;
    }
  }
  apr_socket_close(socket);
  return found;
}

const char* Mongoose::nocache() {
  return "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
}

log4cpp::Category& Mongoose::getLog() {
  return log4cpp::Category::getInstance("mongoose");
}

std::string Mongoose::dataPath(const char* name) const {
  return dataDir_ + "/" + name;
}

void Mongoose::removeFiles() const {
  apr::Pool scratch;
  apr_file_remove(dataPath(kServerFileName).c_str(), scratch);
  apr_file_remove(dataPath(cmdserver::kKeyFileName).c_str(), scratch);
}

void Mongoose::writeFile(const char* name, const std::string& content) const {
  log4cpp::Category& log = getLog();
  apr::Pool scratch;
  apr_file_t* file = nullptr;
  apr_status_t status = apr_file_open(
      &file, dataPath(name).c_str(),
      APR_FOPEN_WRITE | APR_FOPEN_CREATE | APR_FOPEN_TRUNCATE,
      APR_FPROT_UREAD | APR_FPROT_UWRITE, scratch);
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, log, status,
           "Failed to open %s file for writing", name);
    return;
  }
  apr_size_t written = content.size();
  status = apr_file_write_full(file, content.data(), content.size(), &written);
  apr_status_t closed = apr_file_close(file);
  if (status == APR_SUCCESS) status = closed;
  if (status != APR_SUCCESS) {
    logApr(log4cpp::Priority::ERROR, log, status, "Failed to write %s file",
           name);
    return;
  }
  log.debug("Wrote %s file", name);
}

int Mongoose::beginRequest(mg_connection* conn) {
  cmdserver::GatePass pass(gate_);
  if (!pass.admitted()) {
    return sendPlain(conn, 503, "Service Unavailable",
                     "The agent is stopping.");
  }
  // Nothing may unwind into the library's C code.
  try {
    return dispatch(conn, mg_get_request_info(conn));
  } catch (const std::exception& e) {
    return sendException(conn, e.what());
  } catch (const std::string& text) {
    return sendException(conn, text);
  } catch (...) {
    return sendException(conn, "Unknown failure");
  }
}

int Mongoose::dispatch(mg_connection* conn, const mg_request_info* info) {
  const char* host = mg_get_header(conn, "Host");
  if (!cmdserver::isAllowedHost(host, port_)) {
    getLog().warn("Refused a request for host %s",
                  forLog(host != nullptr ? host : "").c_str());
    mg_printf(conn,
              "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
              "Access is only allowed through 127.0.0.1 or localhost.");
    return 403;
  }
  // A web page the user visits can send requests here; the browser says so.
  if (cmdserver::isCrossSiteRequest(mg_get_header(conn, "Sec-Fetch-Site"),
                                    mg_get_header(conn, "Origin"), port_)) {
    getLog().warn("Refused a cross-site request");
    return sendPlain(conn, 403, "Forbidden",
                     "Requests from web pages are refused.");
  }
  const std::string path = info->local_uri != nullptr ? info->local_uri : "";
  if (cmdserver::namesKeyFile(path) || servesKeyFile(path)) {
    return serverkey_callback(conn, info);
  }
  if (path.compare(0, sizeof(kCommandPrefix) - 1, kCommandPrefix) == 0) {
    return cmd_callback(conn, info);
  }
  return serveFile(conn, info);
}

int Mongoose::serveFile(mg_connection* conn, const mg_request_info* info) {
  const std::string method =
      info->request_method != nullptr ? info->request_method : "";
  if (method != "GET" && method != "HEAD") {
    return sendPlain(conn, 405, "Method Not Allowed",
                     "Only GET and HEAD are served.", "Allow: GET, HEAD\r\n");
  }
  const cmdserver::FileAccess::Decision decision =
      files_->decide(info->local_uri != nullptr ? info->local_uri : "");
  switch (decision.verdict) {
    case cmdserver::FileAccess::Verdict::kServe:
      mg_send_file(conn, decision.realPath.c_str());
      return 200;
    case cmdserver::FileAccess::Verdict::kPrivate:
      return sendPlain(conn, 403, "Forbidden",
                       "Access to this file is forbidden.");
    case cmdserver::FileAccess::Verdict::kNotFound:
      break;
  }
  return sendPlain(conn, 404, "Not Found", "Not found.");
}

std::string Mongoose::forLog(const std::string& text,
                             std::size_t limit) const {
  std::string hidden = http::QueryString::redactKeyParameter(text);
  if (!key_.empty()) {
    for (std::size_t at = hidden.find(key_); at != std::string::npos;
         at = hidden.find(key_, at)) {
      hidden.replace(at, key_.size(), http::QueryString::kHiddenValue);
    }
  }
  return vq_support::LogSafe(hidden, limit);
}

std::string Mongoose::forLog(const std::string& text) const {
  return forLog(text, vq_support::kLogValueLimit);
}

bool Mongoose::servesKeyFile(const std::string& path) const {
  // Catches links (hard or symbolic) to the key file under another name.
  apr::Pool scratch;
  apr_finfo_t keyInfo;
  apr_finfo_t servedInfo;
  const apr_int32_t wanted = APR_FINFO_INODE | APR_FINFO_DEV;
  if (apr_stat(&keyInfo, dataPath(cmdserver::kKeyFileName).c_str(), wanted,
               scratch) != APR_SUCCESS) {
    return false;
  }
  const std::string served = dataDir_ + cmdserver::normalizePath(path);
  if (apr_stat(&servedInfo, served.c_str(), wanted, scratch) != APR_SUCCESS) {
    return false;
  }
  return keyInfo.inode == servedInfo.inode &&
         keyInfo.device == servedInfo.device;
}

int Mongoose::serverkey_callback(mg_connection* conn,
                                 const mg_request_info* /*info*/) {
  mg_printf(conn,
            "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
            "Access to vq.server.key is forbidden. Please access from the "
            "file system.");
  return 403;
}

int Mongoose::stat_begin_request(mg_connection* conn) {
  auto* self =
      static_cast<Mongoose*>(mg_get_user_data(mg_get_context(conn)));
  return self->beginRequest(conn);
}

int Mongoose::stat_log_callback(const mg_connection* conn,
                                const char* message) {
  // The library's messages may quote the request line.
  try {
    const mg_context* context =
        conn != nullptr ? mg_get_context(conn) : nullptr;
    const auto* self =
        context != nullptr
            ? static_cast<const Mongoose*>(mg_get_user_data(context))
            : nullptr;
    const std::string text = message != nullptr ? message : "";
    getLog().debug("%s", self != nullptr
                             ? self->forLog(text).c_str()
                             : vq_support::LogSafe(
                                   http::QueryString::redactKeyParameter(text))
                                   .c_str());
  } catch (...) {
  }
  return 1;
}
