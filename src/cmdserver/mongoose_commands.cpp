// The "/~cmd/" commands. Replies are written byte for byte and carry no
// Content-Length, so the library closes each connection after its reply.

#include <civetweb.h>
#include <log4cpp/Category.hh>

#include <csignal>
#include <exception>
#include <string>
#include <vector>

#include "cmdserver/mongoose.h"
#include "cmdserver/reply_text.h"
#include "support/c_template.h"
#include "support/http_query_string.h"
#include "support/log_text.h"
#include "support/string_util.h"

namespace {

const char kTextXml[] = "Content-Type: text/xml\r\n";
const char kTextHtml[] = "Content-Type: text/html\r\n";
const char kTextPlain[] = "Content-Type: text/plain\r\n";
const char kOkBody[] = "<vq><![CDATA[OK]]></vq>";

log4cpp::Category& cmdLog() {
  return log4cpp::Category::getInstance("mongoose.cmd");
}

void sendBytes(mg_connection* conn, const std::string& bytes) {
  mg_write(conn, bytes.data(), bytes.size());
}

// A 200 reply: status line, content type, no-cache lines, then `body`.
int sendOk(mg_connection* conn, const char* contentType,
           const std::string& body) {
  sendBytes(conn, std::string("HTTP/1.1 200 OK\r\n") + contentType +
                      Mongoose::nocache() + "\r\n" + body);
  return 200;
}

// Collapses runs of "/" so that "/~cmd//info" names the same command as
// "/~cmd/info".
std::string collapseSlashes(const char* uri) {
  std::string collapsed;
  for (const char* p = uri; *p != '\0'; ++p) {
    if (*p == '/' && !collapsed.empty() && collapsed.back() == '/') continue;
    collapsed += *p;
  }
  return collapsed;
}

// Reads the whole request body, at most `limit` bytes. Returns false when the
// body is larger (nothing more is read then).
bool readBody(mg_connection* conn, const mg_request_info* info,
              std::size_t limit, std::string* body) {
  if (info->content_length > static_cast<long long>(limit)) return false;
  char buffer[16384];
  for (;;) {
    int got = mg_read(conn, buffer, sizeof(buffer));
    if (got <= 0) return true;
    if (body->size() + static_cast<std::size_t>(got) > limit) return false;
    body->append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

int Mongoose::sendException(mg_connection* conn,
                            const std::string& text) const {
  // Failure texts may quote the submitted document.
  cmdLog().error("%s", forLog(text, vq_support::kLogBodyLimit).c_str());
  sendBytes(conn,
            "HTTP/1.1 500 Exception\r\nContent-Type: text/xml\r\n\r\n"
            "<error><![CDATA[" + cmdserver::cdataSafe(text) + "]]></error>");
  return 500;
}

bool Mongoose::checkKey(mg_connection* conn, http::QueryString& query) const {
  auto given = query.find("key");
  if (given != query.end() && !key_.empty() && given->second == key_) {
    return true;
  }
  sendBytes(conn,
            "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
            "Access to this method requires a key parameter containing the "
            "contents of vq.server.key");
  return false;
}

int Mongoose::cmd_callback(mg_connection* conn, const mg_request_info* info) {
  log4cpp::Category& log = cmdLog();
  const std::string uri = collapseSlashes(info->local_uri);
  http::QueryString query(info->query_string);
  if (log.isDebugEnabled()) {
    log.debug("cmd_callback, uri=%s", forLog(uri).c_str());
    log4cpp::Category& vars =
        log4cpp::Category::getInstance(log.getName() + ".vars");
    for (const auto& pair : query) {
      vars.debug(forLog(pair.first) + "=" +
                 (pair.first == "key" ? http::QueryString::kHiddenValue
                                      : forLog(pair.second)));
    }
  }

  // An exception a handler throws is answered by beginRequest, which keeps
  // every one from escaping into the library's threads.
  if (uri == "/~cmd/crash") {
    // Ends at once with no reply and no clean-up of any kind: SIGKILL
    // cannot be caught, so no signal handler, atexit hook or destructor
    // runs. An interrupted transaction is recovered at the next start.
    std::raise(SIGKILL);
  }
  if (uri == "/~cmd/version") {
    return sendOk(conn, kTextXml, application_->applicationXml());
  }
  if (uri == "/~cmd/wake") {
    application_->updateNow();
    return sendOk(conn, kTextXml, "<result wake=\"ok\" />");
  }
  if (uri == "/~cmd/quit") return cmdQuit(conn, query);
  if (uri == "/~cmd/info") return cmdInfo(conn);
  if (vq_support::StartsWith(uri, "/~cmd/info/")) {
    const std::string name = uri.substr(11);
    log.debug("Requested variable: %s", forLog(name).c_str());
    return sendOk(conn, kTextPlain, application_->getEnv(name));
  }
  if (vq_support::StartsWith(uri, "/~cmd/set/")) {
    return cmdSet(conn, query, uri.substr(10));
  }
  if (vq_support::StartsWith(uri, "/~cmd/path/")) {
    const std::string tested = query["path"];
    return sendOk(conn, kTextPlain,
                  "Testing: " + tested + "\r\n" +
                      application_->pathInDataDir(tested));
  }
  if (uri == "/~cmd/process") return cmdProcess(conn, query, info);
  if (uri == "/~cmd/setstart") {
    application_->setStartItem();
    return sendOk(conn, kTextXml, kOkBody);
  }
  if (uri == "/~cmd/launchswf") {
    application_->launchSwf();
    return sendOk(conn, kTextXml, kOkBody);
  }
  if (vq_support::StartsWith(uri, "/~cmd/launch"))
    return cmdLaunch(conn, query);
  sendBytes(conn,
            "HTTP/1.1 404 OK\r\nContent-Type: text/plain\r\n\r\n"
            "The command is unknown.");
  return 404;
}

int Mongoose::cmdQuit(mg_connection* conn, http::QueryString& query) {
  auto forward = query.find("forward");
  if (forward != query.end() &&
      cmdserver::hasControlCharacter(forward->second)) {
    // A CR or LF would let the caller add header lines of its own.
    cmdLog().warn("Not forwarding to a location with control characters");
    forward = query.end();
  }
  if (forward != query.end()) {
    cmdLog().debug("Quitting and forwarding to : %s",
                   forLog(forward->second).c_str());
    sendBytes(conn, "HTTP/1.1 302 Found\r\nLocation: " + forward->second +
                        "\r\n\r\n");
  } else {
    sendOk(conn, kTextXml, "<result quit=\"ok\" />");
  }
  application_->setQuit(true);
  return forward != query.end() ? 302 : 200;
}

int Mongoose::cmdInfo(mg_connection* conn) {
  std::string body =
      "<html><body><h1>Application Environment</h1><table>";
  // Values come from the network (set actions, the set command), so every
  // name and value is escaped.
  for (const auto& entry : application_->getEnvMap()) {
    const std::string name = cmdserver::htmlEscape(entry.first);
    body += "<tr><td><b><a href=\"info/" +
            cmdserver::hrefEscape(entry.first) + "\">" + name +
            "</b></td><td>" +
            cmdserver::htmlEscape(application_->getEnv(entry.first)) +
            "</td></tr>";
  }
  body += "</td></tr></table></body></html>";
  return sendOk(conn, kTextHtml, body);
}

int Mongoose::cmdSet(mg_connection* conn, http::QueryString& query,
                     const std::string& rest) {
  if (!checkKey(conn, query)) return 403;
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos) {
    sendBytes(conn,
              "HTTP/1.1 500 Error: No value specified\r\n"
              "Content-Type: text/html\r\n\r\n"
              "Error: No value specified. Use /~cmd/set/[VARNAME]/[VALUE].");
    return 500;
  }
  const std::string name = rest.substr(0, slash);
  application_->setEnv(name, rest.substr(slash + 1));
  return sendOk(conn, kTextPlain, name + "=" + application_->getEnv(name));
}

int Mongoose::cmdProcess(mg_connection* conn, http::QueryString& query,
                         const mg_request_info* info) {
  log4cpp::Category& log = cmdLog();
  if (!checkKey(conn, query)) return 403;
  std::string body;
  if (!readBody(conn, info, kMaxProcessBody, &body)) {
    return sendException(conn, "The request body is larger than " +
                                   std::to_string(kMaxProcessBody) +
                                   " bytes; nothing was run");
  }
  if (log.isDebugEnabled()) {
    log.debug("POST [%s]", forLog(body, vq_support::kLogBodyLimit).c_str());
  }
  application_->processTransactions(body);
  log.debug("Application processing succeeded.");
  return sendOk(conn, kTextXml, kOkBody);
}

int Mongoose::cmdLaunch(mg_connection* conn, http::QueryString& query) {
  log4cpp::Category& log = cmdLog();
  if (!checkKey(conn, query)) return 403;
  CTemplate expander;
  expander.add(application_->getEnvMap());

  auto fileParam = query.find("file");
  std::string file =
      fileParam != query.end() ? expander.parse(fileParam->second.c_str())
                               : std::string();
  std::vector<std::string> args;
  for (int i = 1;; ++i) {
    auto arg = query.find("arg" + std::to_string(i));
    if (arg == query.end()) break;
    args.push_back(expander.parse(arg->second.c_str()));
    if (log.isDebugEnabled()) {
      log.debug("arg%d: %s = %s", i, forLog(arg->second).c_str(),
                forLog(args.back()).c_str());
    }
  }
  if (args.empty() && file.empty()) {
    return sendOk(conn, kTextXml,
                  "<vq><![CDATA[ERROR - NO LAUNCH FILE GIVEN]]></vq>");
  }
  log.debug("Launching [%s] with %zu args", forLog(file).c_str(), args.size());
  sendOk(conn, kTextXml,
         "<vq><![CDATA[OK launched " + cmdserver::cdataSafe(file) +
             "]]></vq>");
  args.push_back(file);
  std::string exe;
  // The reply is out already, so a failure can only be logged.
  try {
    application_->launchProcess(exe, args);
  } catch (const std::exception& e) {
    log.error("Launching [%s] failed: %s", forLog(file).c_str(),
              forLog(e.what()).c_str());
  } catch (const std::string& text) {
    log.error("Launching [%s] failed: %s", forLog(file).c_str(),
              forLog(text).c_str());
  } catch (...) {
    log.error("Launching [%s] failed", forLog(file).c_str());
  }
  return 200;
}
