#ifndef VQ_TESTS_ENGINE_VQSERVE_PROCESS_H_
#define VQ_TESTS_ENGINE_VQSERVE_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace engine_testing {

// One request as the reference server logged it.
struct ServedRequest {
  std::string page;    // "vq.php", "vqerror.php", ...
  std::string method;  // "GET", "POST"
  std::string uri;     // decoded path, e.g. "/vq.php"
  std::vector<std::pair<std::string, std::string>> params;

  // The first value of `name`, or the empty text.
  std::string param(const std::string& name) const;
  bool has(const std::string& name) const;
  std::vector<std::string> names() const;
};

// The reference update server run as a child process on 127.0.0.1, signing
// with the demo key that the agent is built to trust. Killed and waited for
// by the destructor.
class VqserveProcess {
 public:
  // `extraArgs` are added after --listen, --key and --log. Throws
  // std::runtime_error when the server does not start.
  VqserveProcess(const std::string& logFile,
                 const std::vector<std::string>& extraArgs = {});
  ~VqserveProcess();

  VqserveProcess(const VqserveProcess&) = delete;
  VqserveProcess& operator=(const VqserveProcess&) = delete;

  // "http://127.0.0.1:PORT/".
  const std::string& baseUrl() const { return baseUrl_; }
  // Every request logged so far, in arrival order.
  std::vector<ServedRequest> requests() const;
  // Requests to one page.
  std::vector<ServedRequest> requests(const std::string& page) const;

 private:
  pid_t pid_ = -1;
  std::string logFile_;
  std::string baseUrl_;
};

// A base URL on 127.0.0.1 where nothing listens (the port was just bound and
// released), so connections are refused at once.
std::string DeadServerUrl();

}  // namespace engine_testing

#endif  // VQ_TESTS_ENGINE_VQSERVE_PROCESS_H_
