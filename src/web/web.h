#ifndef VQ_WEB_WEB_H_
#define VQ_WEB_WEB_H_

#include <apr_pools.h>
#include <log4cpp/Category.hh>

#include <cstddef>
#include <map>
#include <string>

#include "support/memory_buffer.h"
#include "web/web_parameter_buffer.h"

class TiXmlDocument;

// One HTTP request and its response. The caller sets the URL, adds form
// parameters and calls get(); the request is a POST of the encoded
// parameters when there are any, a GET otherwise. Response header names are
// stored in lower case.
//
// get() is provided by a transport subclass, which guarantees: the body is
// emptied first; after a complete response (any HTTP status) the body and
// headers are stored, get_completed(true) is called and true returned; when
// the exchange fails, get_completed(false) is called and a VqException
// carrying the URL is raised; failures found before any transfer raise
// without calling get_completed.
//
// One object serves one request, on one thread at a time.
class Web {
 public:
  explicit Web(apr_pool_t* pool);

  // Called by the transport once at the end of every get() that reached the
  // transfer: true after a complete response, false before a failure is
  // raised.
  virtual void get_completed(bool success);
  virtual ~Web();
  virtual bool get() = 0;

  Web(const Web&) = delete;
  Web& operator=(const Web&) = delete;

  void setUrl(const char* url);
  const std::string& getUrl() const { return url; }

  // Null names or values are ignored.
  void addParameter(const char* name, const char* value);
  void addParameter(const char* name, const char* begin, const char* end);
  // The value is the printf rendering of `format`, cut to 8,191 characters.
  void addParameterf(const char* name, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // The value is the document as XML text. A null document is ignored.
  void addParameter(const char* name, const TiXmlDocument* document);

  // Stores `value` under exactly `name`, replacing an earlier value.
  void setHeader(const std::string& name, const std::string& value);
  // The value stored under exactly `name`, or null.
  const char* getHeader(const char* name) const;
  const std::map<std::string, std::string>& getHeaders() const {
    return headers;
  }

  // Largest response body kept, in bytes (0: no limit). A larger body is
  // refused while it arrives: receiving stops and get() raises code 155.
  // vq_bounds::kMaxAnswerBytes by default; downloads, which stream to a
  // file, have none.
  void setMaxBodyBytes(std::size_t bytes) { maxBodyBytes_ = bytes; }
  std::size_t maxBodyBytes() const { return maxBodyBytes_; }

  // Refreshes the text copy of the body and returns it.
  std::string& resultString();
  // Appends one NUL to the body (it stays there) and returns the body's
  // start, so the body can be read as NUL-terminated text.
  const char* c_str();
  const MemoryBuffer<char>& getBody() const { return body; }
  const WebParameterBuffer& getParams() const { return params; }
  apr_pool_t* getPool() const { return pool; }

  // Debug logging of the URL and the decoded parameters, each value cut to
  // a few KiB (with its whole length).
  void logDebug();
  void debugParams(log4cpp::Category& category);

 protected:
  // Receives the response body piece by piece, in order. The base collects
  // it in `body`; a download streams it to its file instead. Exceptions
  // propagate out of get() after get_completed(false).
  virtual void receiveBody(const char* data, std::size_t size);

  // Prepares the parameters for sending: drops the NULs added for logging.
  WebParameterBuffer& requestParams();
  MemoryBuffer<char>& mutableBody() { return body; }

  log4cpp::Category* logger;

 private:
  std::string url;
  std::string result;
  std::map<std::string, std::string> headers;
  WebParameterBuffer params;
  MemoryBuffer<char> body;
  apr_pool_t* pool;
  std::size_t maxBodyBytes_;
};

#endif  // VQ_WEB_WEB_H_
