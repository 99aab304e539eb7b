#ifndef VQ_ENGINE_SERVER_URL_H_
#define VQ_ENGINE_SERVER_URL_H_

#include <string>

// The URL of `page` on the update server with base URL `server`: a "/" is
// put between them unless `server` already ends with one, so that both
// "http://h/x" and "http://h/x/" reach "http://h/x/<page>".
std::string serverPageUrl(const std::string& server, const char* page);

// Page names on the update servers.
constexpr const char* kUpdatePage = "vq.php";
constexpr const char* kErrorPage = "vqerror.php";

#endif  // VQ_ENGINE_SERVER_URL_H_
