#include "vqserve/update_server.h"

#include <strings.h>

#include <cstring>
#include <iostream>
#include <mutex>
#include <utility>
#include <vector>

#include <civetweb.h>

#include "vqsign/answer_signing.h"
#include "web/answer_protocol.h"

namespace vqtools {

namespace {

// Large enough for the agent's biggest request (log tail, feed, included
// files); anything bigger is refused rather than held in memory.
constexpr size_t kMaxBodyBytes = 64 * 1024 * 1024;

const char* reasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

void sendText(mg_connection* connection,
              int status,
              const std::string& content_type,
              const std::string& body,
              const std::string& extra_headers) {
  mg_printf(connection,
            "HTTP/1.1 %d %s\r\n"
            "Content-Type: %s\r\n"
            "Content-Length: %zu\r\n"
            "Cache-Control: no-store\r\n"
            "Connection: close\r\n"
            "%s\r\n",
            status, reasonPhrase(status), content_type.c_str(), body.size(),
            extra_headers.c_str());
  if (!body.empty())
    mg_write(connection, body.data(), body.size());
}

void sendError(mg_connection* connection, int status) {
  sendText(connection, status, "text/plain",
           std::string(reasonPhrase(status)) + "\n", std::string());
}

// Reads the whole request body. Returns 0, or the HTTP status to answer
// with when the body exceeds the cap or the connection fails while reading.
int readBody(mg_connection* connection, std::string* body) {
  char buffer[16384];
  while (true) {
    const int count = mg_read(connection, buffer, sizeof(buffer));
    if (count == 0)
      return 0;
    if (count < 0)
      return 400;
    if (body->size() + static_cast<size_t>(count) > kMaxBodyBytes)
      return 413;
    body->append(buffer, static_cast<size_t>(count));
  }
}

// Bodies are decoded as forms unless the client says they are something
// else.
// The last "nonce" parameter of the request, or "".
std::string requestNonce(const FormParams& params) {
  std::string nonce;
  for (const auto& param : params) {
    if (param.first == vq_answer::kNonceParameter) nonce = param.second;
  }
  return nonce;
}

bool isFormBody(const mg_request_info* info) {
  const char* type = nullptr;
  for (int i = 0; i < info->num_headers; ++i) {
    if (strcasecmp(info->http_headers[i].name, "Content-Type") == 0) {
      type = info->http_headers[i].value;
    }
  }
  static const char kForm[] = "application/x-www-form-urlencoded";
  return !type || strncasecmp(type, kForm, sizeof(kForm) - 1) == 0;
}

}  // namespace

const char UpdateServer::kEmptyDocument[] = "<vq version=\"2.0\"/>\n";

void UpdateServer::ContextStopper::operator()(mg_context* context) const {
  mg_stop(context);
}

UpdateServer::UpdateServer(ServerSetup setup) : setup_(std::move(setup)) {
  if (!setup_.updates)
    setup_.updates = DocumentSource::fromText(kEmptyDocument);
  if (!setup_.errors)
    setup_.errors = DocumentSource::fromText(kEmptyDocument);
}

UpdateServer::~UpdateServer() {
  // Stop the workers before the members they use go away.
  context_.reset();
}

bool UpdateServer::start(std::string* error) {
  if (setup_.sign_mode != SignMode::kNone && !setup_.signer) {
    *error = "signing needs a private key";
    return false;
  }
  const std::string ports = setup_.address.listeningSpec(setup_.address.port);
  const std::string threads = std::to_string(setup_.threads);
  const char* options[] = {"listening_ports",
                           ports.c_str(),
                           "num_threads",
                           threads.c_str(),
                           "enable_keep_alive",
                           "no",
                           "request_timeout_ms",
                           "30000",
                           nullptr};
  mg_callbacks callbacks;
  std::memset(&callbacks, 0, sizeof(callbacks));
  callbacks.begin_request = &UpdateServer::beginRequest;
  context_.reset(mg_start(&callbacks, this, options));
  if (!context_) {
    *error = "cannot listen on " + ports;
    return false;
  }
  mg_server_port listening[4];
  std::memset(listening, 0, sizeof(listening));
  const int count = mg_get_server_ports(context_.get(), 4, listening);
  if (count < 1 || listening[0].port <= 0) {
    context_.reset();
    *error = "cannot tell the port listened on";
    return false;
  }
  port_ = listening[0].port;
  template_storage_.reset(new DocumentTemplate(
      baseUrl(),
      baseUrl() + std::string(kDownloadPrefix, 0, sizeof(kDownloadPrefix) - 2),
      &setup_.downloads));
  template_.store(template_storage_.get(), std::memory_order_release);
  return true;
}

std::string UpdateServer::baseUrl() const {
  return "http://" + setup_.address.host + ":" + std::to_string(port_);
}

int UpdateServer::beginRequest(mg_connection* connection) {
  auto* server =
      static_cast<UpdateServer*>(mg_get_user_data(mg_get_context(connection)));
  return server->handle(connection);
}

int UpdateServer::handle(mg_connection* connection) {
  const mg_request_info* info = mg_get_request_info(connection);
  RequestRecord record;
  record.method = info->request_method ? info->request_method : "";
  record.uri = info->local_uri ? info->local_uri : "";
  const size_t slash = record.uri.rfind('/');
  record.page =
      slash == std::string::npos ? record.uri : record.uri.substr(slash + 1);
  if (info->query_string) {
    appendFormParams(info->query_string, std::strlen(info->query_string),
                     &record.params);
  }
  std::string body;
  record.status = readBody(connection, &body);
  if (record.status != 0) {
    writeLog(record);
    sendError(connection, record.status);
    return record.status;
  }
  if (!body.empty() && isFormBody(info)) {
    appendFormParams(body.data(), body.size(), &record.params);
  }

  const size_t prefix_length = sizeof(kDownloadPrefix) - 1;
  if (setup_.downloads.isOpen() &&
      record.uri.compare(0, prefix_length, kDownloadPrefix) == 0) {
    const std::string path =
        setup_.downloads.resolve(record.uri.substr(prefix_length));
    const bool readable = record.method == "GET" || record.method == "HEAD";
    record.status = path.empty() ? 404 : readable ? 200 : 405;
    writeLog(record);
    if (record.status == 200) {
      mg_send_mime_file(connection, path.c_str(), "application/octet-stream");
    } else {
      sendError(connection, record.status);
    }
    return record.status;
  }
  if (record.page == "vq.php") {
    return answerDocument(connection, setup_.updates.get(), &record);
  }
  if (record.page == "vqerror.php") {
    return answerDocument(connection, setup_.errors.get(), &record);
  }
  record.status = 404;
  writeLog(record);
  sendError(connection, record.status);
  return record.status;
}

int UpdateServer::answerDocument(mg_connection* connection,
                                 DocumentSource* source,
                                 RequestRecord* record) {
  const DocumentTemplate* expander = template_.load(std::memory_order_acquire);
  std::string text;
  std::string error;
  if (!expander) {
    record->status = 503;
  } else if (!source->next(&text, &error)) {
    warn(error);
    record->status = 500;
  } else {
    record->status = 200;
  }
  if (record->status != 200) {
    writeLog(*record);
    sendError(connection, record->status);
    return record->status;
  }
  std::vector<std::string> warnings;
  const std::string document = expander->expand(text, &warnings);
  for (const std::string& warning : warnings)
    warn(warning);
  std::string headers;
  try {
    headers = signatureHeader(document, requestNonce(record->params));
  } catch (const std::exception& e) {
    warn(e.what());
    record->status = 500;
    writeLog(*record);
    sendError(connection, record->status);
    return record->status;
  }
  writeLog(*record);
  sendText(connection, record->status, "text/xml", document, headers);
  return record->status;
}

std::string UpdateServer::signatureHeader(const std::string& body,
                                          const std::string& nonce) const {
  switch (setup_.sign_mode) {
    case SignMode::kNone:
      return std::string();
    case SignMode::kBadSign:
      // A genuine signature of other bytes: it decodes and has the right
      // length, so only the check against the body can reject it.
      return "xxx-vq-sig: " + setup_.signer->signBase64(body + "\n") + "\r\n";
    case SignMode::kSign:
      break;
  }
  std::string headers =
      "xxx-vq-sig: " + setup_.signer->signBase64(body) + "\r\n";
  // A request without a well-formed nonce comes from an agent that does not
  // check freshness (or from someone probing): one signature is all it gets.
  if (setup_.second_signature && vq_answer::isWellFormedNonce(nonce)) {
    headers += std::string(vq_answer::kSecondSignatureHeader) + ": " +
               secondSignature(*setup_.signer, nonce, body) + "\r\n";
  }
  return headers;
}

void UpdateServer::warn(const std::string& text) const {
  std::lock_guard<std::mutex> lock(stderr_mutex_);
  std::cerr << "vqserve: " << text << std::endl;
}

void UpdateServer::writeLog(const RequestRecord& record) const {
  if (setup_.log)
    setup_.log->write(record);
}

}  // namespace vqtools
