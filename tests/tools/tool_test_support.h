#ifndef VQ_TOOLS_TOOL_TEST_SUPPORT_H_
#define VQ_TOOLS_TOOL_TEST_SUPPORT_H_

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vqtest {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents on
// destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// The outcome of a finished child process.
struct RunResult {
  int exit_code = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Runs |argv| (no shell) with |input| on its standard input and waits for
// it, at most |timeout|; a child still running then is killed.
RunResult run(const std::vector<std::string>& argv,
              const std::string& input = std::string(),
              std::chrono::seconds timeout = std::chrono::seconds(60));

// Polls |condition| until it holds or |timeout| has passed.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A long-running child whose standard output is read line by line and
// whose standard error goes to a file. Killed on destruction if still
// running.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Next line of standard output without its newline; false at end of
  // output or after |timeout|.
  bool readLine(std::string* line,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Sends |signal_number| and waits for the exit. Returns the exit code,
  // -1 for a death by signal, -2 when it did not end within |timeout|.
  int stop(int signal_number,
           std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Waits for an exit that the child makes by itself; same results as stop.
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  std::string errors() const;

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string pending_;
  std::string err_path_;
};

struct HttpResponse {
  int status = 0;                              // 0 when the request failed
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

// One HTTP/1.1 request to 127.0.0.1:|port|. With a non-empty |form| body
// it is sent as application/x-www-form-urlencoded.
HttpResponse httpRequest(int port,
                         const std::string& method,
                         const std::string& path,
                         const std::string& form = std::string());

// A 2048-bit RSA key pair made with the openssl command-line tool, shared by
// the tests of one program: PKCS#8 and PKCS#1 forms of the private key and
// the SubjectPublicKeyInfo public key.
struct TestKeys {
  std::string private_pem;
  std::string private_pkcs1_pem;
  std::string public_pem;
};
const TestKeys& testKeys();

// True when |signature_base64| is an RSA PKCS#1 v1.5 SHA-1 signature of
// |data| by the test key, as checked by `openssl dgst -sha1 -verify`.
bool opensslVerifies(const std::string& data,
                     const std::string& signature_base64,
                     const std::string& public_pem = testKeys().public_pem);

// Decodes Base64 with the openssl command-line tool.
std::string opensslBase64Decode(const std::string& text);

// `openssl dgst -md5` of |data| as 32 lower-case hex digits.
std::string opensslMd5(const std::string& data);

}  // namespace vqtest

#endif  // VQ_TOOLS_TOOL_TEST_SUPPORT_H_
