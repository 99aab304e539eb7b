#include "response/server_pins.h"

#include <apr_file_io.h>

#include <fstream>
#include <sstream>

#include "support/apr_pool.h"

namespace {

bool hasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// Writes `text` to `path` through a unique temporary in the same directory:
// create, write, flush to disk, close, rename.
bool replaceFile(const std::string& path, const std::string& text,
                 apr_pool_t* parent, std::string* why) {
  apr::Pool pool(parent);
  std::string name = path + ".XXXXXX";
  apr_file_t* file = nullptr;
  apr_status_t status = apr_file_mktemp(
      &file, name.data(),
      APR_FOPEN_CREATE | APR_FOPEN_WRITE | APR_FOPEN_EXCL | APR_FOPEN_BINARY,
      pool);
  if (status != APR_SUCCESS) {
    *why = "cannot create a temporary beside " + path;
    return false;
  }
  status = apr_file_write_full(file, text.data(), text.size(), nullptr);
  if (status == APR_SUCCESS) status = apr_file_flush(file);
  if (status == APR_SUCCESS) status = apr_file_sync(file);
  const apr_status_t closed = apr_file_close(file);
  if (status == APR_SUCCESS) status = closed;
  if (status == APR_SUCCESS) status = apr_file_rename(name.c_str(), path.c_str(), pool);
  if (status != APR_SUCCESS) {
    apr_file_remove(name.c_str(), pool);
    char message[256];
    *why = "cannot write " + path + ": " +
           apr_strerror(status, message, sizeof(message));
    return false;
  }
  return true;
}

}  // namespace

ServerPins::ServerPins(apr_pool_t* pool, std::string path)
    : pool_(pool), path_(std::move(path)) {}

bool ServerPins::readEntries(std::string* text) const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  std::string line;
  for (std::size_t count = 0; count < kMaxEntries && std::getline(in, line);
       ++count) {
    content << line << '\n';
  }
  *text = content.str();
  return true;
}

bool ServerPins::isPinned(const std::string& server) const {
  std::string entries;
  if (!readEntries(&entries)) return false;
  std::istringstream lines(entries);
  for (std::string line; std::getline(lines, line);) {
    if (line == server) return true;
  }
  return false;
}

bool ServerPins::pin(const std::string& server, std::string* why) {
  if (server.empty() || hasControlCharacter(server)) {
    *why = "the server's URL cannot be stored";
    return false;
  }
  if (isPinned(server)) return true;
  std::string entries;
  readEntries(&entries);
  return replaceFile(path_, entries + server + "\n", pool_, why);
}

std::string serverOfPage(const std::string& pageUrl) {
  const std::size_t slash = pageUrl.rfind('/');
  return slash == std::string::npos ? pageUrl : pageUrl.substr(0, slash + 1);
}
