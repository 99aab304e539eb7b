#include "host/http_transport.h"

#include <curl/curl.h>

#include <functional>
#include <mutex>

namespace host {
namespace {

constexpr long kReceiveBufferBytes = 1024 * 1024;

// curl_global_init is not thread-safe; run it once for the process. Cleanup
// is left to process exit because other threads may still use libcurl.
void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<HttpResponseSink*>(user);
  const size_t total = size * count;
  if (total == 0) return 0;
  // Any value other than `total` makes libcurl abort with a write error.
  return sink->onBodyData(data, total) ? total : 0;
}

// Any value other than 0 makes libcurl abort with
// CURLE_ABORTED_BY_CALLBACK. libcurl calls this while it waits as well as
// while data flows, about once a second at the slowest.
int checkCancelled(void* user, curl_off_t, curl_off_t, curl_off_t,
                   curl_off_t) {
  const auto* cancelled = static_cast<const std::function<bool()>*>(user);
  return (*cancelled)() ? 1 : 0;
}

class CurlHttpTransport : public HttpTransport {
 public:
  HttpResult fetch(const HttpRequest& request,
                   HttpResponseSink& sink) override {
    initCurlOnce();
    HttpResult result;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
      result.error = "could not create a transfer handle";
      return result;
    }
    CURL* h = easy.get();
    char error_text[CURL_ERROR_SIZE] = {0};
    // Redirects are followed as a browser would, only between http and
    // https: a server must not be able to send the agent to file: or other
    // local schemes.
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, request.idle_timeout_seconds);
    if (request.direct) curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT,
                     request.low_speed_bytes_per_second);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, request.idle_timeout_seconds);
    if (request.total_timeout_seconds > 0) {
      curl_easy_setopt(h, CURLOPT_TIMEOUT, request.total_timeout_seconds);
    }
    if (request.max_body_bytes > 0) {
      curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                       static_cast<curl_off_t>(request.max_body_bytes));
    }
    if (request.cancelled) {
      curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &checkCancelled);
      curl_easy_setopt(h, CURLOPT_XFERINFODATA, &request.cancelled);
      curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    }
    // Larger receive pieces mean fewer callbacks and file writes for big
    // downloads; the memory is fixed per transfer.
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if (request.body_size > 0) {
      curl_easy_setopt(h, CURLOPT_POST, 1L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body);
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request.body_size));
      // libcurl would otherwise hold bodies over 1 KiB back until the server
      // answers "100 Continue", costing a round trip or a one-second stall.
      headers.reset(curl_slist_append(nullptr, "Expect:"));
      curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    } else {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
      result.cancelled = code == CURLE_ABORTED_BY_CALLBACK;
      result.error = result.cancelled     ? "the transfer was cancelled"
                     : error_text[0] != '\0' ? error_text
                                             : curl_easy_strerror(code);
      return result;
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.status);

    // Only the headers of the last response of a redirect chain.
    curl_header* previous = nullptr;
    while (curl_header* header =
               curl_easy_nextheader(h, CURLH_HEADER, -1, previous)) {
      sink.onHeader(header->name, header->value);
      previous = header;
    }
    return result;
  }
};

}  // namespace

std::shared_ptr<HttpTransport> createHttpTransport() {
  return std::make_shared<CurlHttpTransport>();
}

}  // namespace host
