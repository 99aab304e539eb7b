#include "tool_test_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <civetweb.h>

namespace vqtest {

namespace {

using Clock = std::chrono::steady_clock;

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

// Starts |argv| with the given descriptors as its standard streams (-1
// keeps the parent's), or throws.
pid_t spawn(const std::vector<std::string>& argv,
            int in_fd,
            int out_fd,
            int err_fd) {
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (in_fd >= 0)
      ::dup2(in_fd, 0);
    if (out_fd >= 0)
      ::dup2(out_fd, 1);
    if (err_fd >= 0)
      ::dup2(err_fd, 2);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

// Waits for |pid| until |deadline|; returns its exit code, -1 when killed
// by a signal, -2 on time-out (the child is then left running).
int waitUntil(pid_t pid, Clock::time_point deadline) {
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR)
      return -1;
    if (Clock::now() >= deadline)
      return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string lowerCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/vqtools-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data()))
    throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  ::nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush())
    throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in && in.peek() != std::ifstream::traits_type::eof())
    text << in.rdbuf();
  return text.str();
}

bool fileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

RunResult run(const std::vector<std::string>& argv,
              const std::string& input,
              std::chrono::seconds timeout) {
  TempDir streams;
  writeFile(streams.file("in"), input);
  const int in_fd = ::open(streams.file("in").c_str(), O_RDONLY | O_CLOEXEC);
  const int out_fd =
      ::open(streams.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const int err_fd =
      ::open(streams.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  RunResult result;
  if (in_fd >= 0 && out_fd >= 0 && err_fd >= 0) {
    const pid_t pid = spawn(argv, in_fd, out_fd, err_fd);
    result.exit_code = waitUntil(pid, Clock::now() + timeout);
    if (result.exit_code == -2) {
      ::kill(pid, SIGKILL);
      waitUntil(pid, Clock::now() + std::chrono::seconds(5));
      result.exit_code = -1;
    }
  }
  for (int fd : {in_fd, out_fd, err_fd}) {
    if (fd >= 0)
      ::close(fd);
  }
  result.out = readFile(streams.file("out"));
  result.err = readFile(streams.file("err"));
  return result;
}

bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  char err_template[] = "/tmp/vqtools-stderr-XXXXXX";
  const int err_fd = ::mkstemp(err_template);
  err_path_ = err_template;
  pid_ = spawn(argv, -1, pipe_fds[1], err_fd);
  ::close(pipe_fds[1]);
  if (err_fd >= 0)
    ::close(err_fd);
  out_fd_ = pipe_fds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    waitUntil(pid_, Clock::now() + std::chrono::seconds(5));
  }
  if (out_fd_ >= 0)
    ::close(out_fd_);
  ::unlink(err_path_.c_str());
}

bool ChildProcess::readLine(std::string* line,
                            std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      *line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0)
      return false;
    pollfd poll_fd = {out_fd_, POLLIN, 0};
    const int ready = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      return false;
    char buffer[4096];
    const ssize_t count = ::read(out_fd_, buffer, sizeof(buffer));
    if (count <= 0)
      return false;
    pending_.append(buffer, static_cast<size_t>(count));
  }
}

int ChildProcess::stop(int signal_number, std::chrono::milliseconds timeout) {
  if (pid_ <= 0)
    return -1;
  ::kill(pid_, signal_number);
  return wait(timeout);
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0)
    return -1;
  const int code = waitUntil(pid_, Clock::now() + timeout);
  if (code != -2)
    pid_ = -1;
  return code;
}

std::string ChildProcess::errors() const {
  return readFile(err_path_);
}

HttpResponse httpRequest(int port,
                         const std::string& method,
                         const std::string& path,
                         const std::string& form) {
  static const bool initialised = [] {
    mg_init_library(0);
    std::atexit([] { mg_exit_library(); });
    return true;
  }();
  (void)initialised;
  HttpResponse response;
  char error[256] = "";
  mg_connection* connection =
      mg_connect_client("127.0.0.1", port, 0, error, sizeof(error));
  if (!connection)
    return response;
  std::unique_ptr<mg_connection, void (*)(mg_connection*)> closer(
      connection, mg_close_connection);
  std::string request = method + " " + path +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                        "Connection: close\r\n";
  if (!form.empty() || method == "POST") {
    request +=
        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
        std::to_string(form.size()) + "\r\n";
  }
  request += "\r\n" + form;
  if (mg_write(connection, request.data(), request.size()) !=
      static_cast<int>(request.size())) {
    return response;
  }
  if (mg_get_response(connection, error, sizeof(error), 10000) < 0)
    return response;
  const mg_response_info* info = mg_get_response_info(connection);
  for (int i = 0; i < info->num_headers; ++i) {
    response.headers[lowerCase(info->http_headers[i].name)] =
        info->http_headers[i].value;
  }
  char buffer[8192];
  int count;
  while ((count = mg_read(connection, buffer, sizeof(buffer))) > 0) {
    response.body.append(buffer, static_cast<size_t>(count));
  }
  response.status = info->status_code;
  return response;
}

const TestKeys& testKeys() {
  static TempDir* dir =
      new TempDir();  // Lives until exit; removed by atexit below.
  static const TestKeys keys = [] {
    std::atexit([] { delete dir; });
    TestKeys made;
    const std::string pkcs8 = dir->file("key.pem");
    const std::string pkcs1 = dir->file("key-pkcs1.pem");
    const std::string pub = dir->file("pub.pem");
    if (run({"openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt",
             "rsa_keygen_bits:2048", "-out", pkcs8})
                .exit_code != 0 ||
        run({"openssl", "rsa", "-in", pkcs8, "-traditional", "-out", pkcs1})
                .exit_code != 0 ||
        run({"openssl", "rsa", "-in", pkcs8, "-pubout", "-out", pub})
                .exit_code != 0) {
      throw std::runtime_error("openssl could not make the test key");
    }
    made.private_pem = pkcs8;
    made.private_pkcs1_pem = pkcs1;
    made.public_pem = pub;
    return made;
  }();
  return keys;
}

std::string opensslBase64Decode(const std::string& text) {
  return run({"openssl", "base64", "-d", "-A"}, text).out;
}

bool opensslVerifies(const std::string& data,
                     const std::string& signature_base64,
                     const std::string& public_pem) {
  TempDir dir;
  writeFile(dir.file("data"), data);
  writeFile(dir.file("sig"), opensslBase64Decode(signature_base64));
  const RunResult result =
      run({"openssl", "dgst", "-sha1", "-verify", public_pem, "-signature",
           dir.file("sig"), dir.file("data")});
  return result.exit_code == 0 &&
         result.out.find("Verified OK") != std::string::npos;
}

std::string opensslMd5(const std::string& data) {
  const std::string out = run({"openssl", "dgst", "-md5", "-r"}, data).out;
  return out.substr(0, out.find(' '));
}

}  // namespace vqtest
