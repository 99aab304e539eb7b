// Runs the vqsign and vqserve executables through /bin/sh, talks to vqserve
// over HTTP on 127.0.0.1, and checks signatures with the openssl
// command-line tool, independently of the code under test.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"
#include "testing/wait_for.h"

namespace {

using vq_testing::ReadFile;
using vq_testing::ScopedTempDir;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

// " 'path'": one shell word (the paths used here hold no quote).
std::string Q(const std::string& path) { return " '" + path + "'"; }

const std::string kVqsign = Q(VQSIGN_PATH);
const std::string kVqserve = Q(VQSERVE_PATH);

int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct RunResult {
  int exit_code;
  std::string out, err;
};

// Runs the shell `command` to its end with `input` on its standard input.
RunResult Exec(const std::string& command, const std::string& input = "") {
  ScopedTempDir dir;
  WriteFile(dir.Append("in"), input);
  const int status =
      std::system((command + " <" + Q(dir.Append("in")) + " >" +
                   Q(dir.Append("out")) + " 2>" + Q(dir.Append("err")))
                      .c_str());
  return {ExitCode(status), ReadFile(dir.Append("out")),
          ReadFile(dir.Append("err"))};
}

// A 2048-bit RSA key made once per test program, in three PEM forms.
struct TestKeys {
  std::string pkcs8, pkcs1, spki;
};
const TestKeys& Keys() {
  static ScopedTempDir* dir = new ScopedTempDir();  // removed at exit
  static const TestKeys keys = [] {
    std::atexit([] { delete dir; });
    const TestKeys made = {dir->Append("key.pem"), dir->Append("pkcs1.pem"),
                           dir->Append("pub.pem")};
    const std::string rsa = "openssl rsa -in" + Q(made.pkcs8);
    if (Exec("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 "
             "-out" +
             Q(made.pkcs8))
            .exit_code ||
        Exec(rsa + " -traditional -out" + Q(made.pkcs1)).exit_code ||
        Exec(rsa + " -pubout -out" + Q(made.spki)).exit_code)
      throw std::runtime_error("openssl could not make the test key");
    return made;
  }();
  return keys;
}

std::string Base64Decode(const std::string& text) {
  return Exec("openssl base64 -d -A", text).out;
}

// True when `signature` (Base64) is an RSA SHA-1 signature of `data`.
bool Verifies(const std::string& data, const std::string& signature,
              const std::string& public_pem = Keys().spki) {
  ScopedTempDir dir;
  WriteFile(dir.Append("data"), data);
  WriteFile(dir.Append("sig"), Base64Decode(signature));
  return Exec("openssl dgst -sha1 -verify" + Q(public_pem) + " -signature" +
              Q(dir.Append("sig")) + Q(dir.Append("data")))
             .out == "Verified OK\n";
}

// --- vqsign ---

RunResult Sign(const std::string& key, const std::string& file,
               const std::string& input = "") {
  return Exec(kVqsign + " --key" + Q(key) + Q(file), input);
}

TEST(VqsignTest, SignsTheExactBytesFromFileOrStdinWithEitherKeyForm) {
  ScopedTempDir dir;
  // NUL, CR and bytes above 0x7f must all be signed as they are.
  const std::string data =
      std::string("<vq version=\"2.0\">\r\n\0\xff\xfe</vq>", 28);
  WriteFile(dir.Append("doc"), data);
  const RunResult result = Sign(Keys().pkcs8, dir.Append("doc"));
  ASSERT_EQ(0, result.exit_code) << result.err;
  // One line of Base64, nothing else.
  const std::string signature =
      result.out.substr(0, result.out.find_first_of("\r\n "));
  EXPECT_EQ(signature + "\n", result.out);
  EXPECT_TRUE(Verifies(data, signature));
  std::string changed = data;
  changed[5] ^= 1;
  EXPECT_FALSE(Verifies(changed, signature));
  EXPECT_FALSE(Verifies(data + "\n", signature));
  // PKCS#1 v1.5 signatures are deterministic: every route prints the same.
  EXPECT_EQ(result.out, Sign(Keys().pkcs8, "-", data).out);
  EXPECT_EQ(result.out, Sign(Keys().pkcs1, dir.Append("doc")).out);
  WriteFile(dir.Append("empty"), "");
  const RunResult empty = Sign(Keys().pkcs8, dir.Append("empty"));
  ASSERT_EQ(0, empty.exit_code) << empty.err;
  EXPECT_TRUE(Verifies("", empty.out.substr(0, empty.out.size() - 1)));
}

TEST(VqsignTest, PublicKeyIsPkcs1PemOfTheSigningKey) {
  const RunResult result =
      Exec(kVqsign + " --public-key --key" + Q(Keys().pkcs8));
  ASSERT_EQ(0, result.exit_code) << result.err;
  // The agent embeds exactly this form: 426 characters in 8 lines.
  EXPECT_EQ(426u, result.out.size());
  EXPECT_EQ(Exec("openssl rsa -RSAPublicKey_out -in" + Q(Keys().pkcs8)).out,
            result.out);
}

TEST(VqsignTest, UnusableKeysOrFilesFailWithOneAndBadUsageWithTwo) {
  ScopedTempDir dir;
  WriteFile(dir.Append("doc"), "x");
  WriteFile(dir.Append("garbage.pem"), "not a key\n");
  // An encrypted key must fail rather than wait for a pass phrase.
  ASSERT_EQ(0, Exec("openssl genpkey -algorithm RSA -pkeyopt "
                    "rsa_keygen_bits:1024 -aes128 -pass pass:secret -out" +
                    Q(dir.Append("encrypted.pem")))
                   .exit_code);
  ASSERT_EQ(0, Exec("openssl genpkey -algorithm EC -pkeyopt "
                    "ec_paramgen_curve:P-256 -out" +
                    Q(dir.Append("ec.pem")))
                   .exit_code);
  for (const auto& [key, file] :
       std::vector<std::pair<std::string, std::string>>{
           {dir.Append("missing.pem"), "doc"},
           {dir.Append("garbage.pem"), "doc"},
           {dir.Append("encrypted.pem"), "doc"},
           {dir.Append("ec.pem"), "doc"},
           {Keys().spki, "doc"},
           {Keys().pkcs8, "nothing"}}) {
    const RunResult result = Sign(key, dir.Append(file));
    EXPECT_EQ(1, result.exit_code) << key << " " << file;
    EXPECT_EQ("", result.out);
    EXPECT_EQ(0u, result.err.find("vqsign: ")) << result.err;
  }
  const RunResult help = Exec(kVqsign + " --help");
  EXPECT_EQ(0, help.exit_code);
  EXPECT_EQ(0u, help.out.find("Usage: vqsign"));
  const std::string key = " --key" + Q(Keys().pkcs8);
  for (const std::string& args :
       {std::string(), std::string(" doc"), std::string(" --key"), key,
        key + " a b", key + " --public-key a", key + " --bogus a"}) {
    const RunResult result = Exec(kVqsign + args);
    EXPECT_EQ(2, result.exit_code) << args;
    EXPECT_NE(std::string::npos, result.err.find("--help")) << result.err;
  }
}

// --- vqserve ---

struct HttpResponse {
  int status = 0;  // 0 when the request failed
  std::string head, body;
  // The value of header `name` as the server wrote it, or "".
  std::string Header(const std::string& name) const {
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
  }
};

HttpResponse Request(int port, const std::string& method,
                     const std::string& path, const std::string& form) {
  std::string reply, request = method + " " + path +
                               " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                               "Connection: close\r\n";
  if (method == "POST")
    request +=
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Content-Length: " +
        std::to_string(form.size()) + "\r\n";
  request += "\r\n" + form;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
    char buffer[65536];
    for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;)
      reply.append(buffer, n);
  }
  close(fd);
  HttpResponse response;
  const size_t end = reply.find("\r\n\r\n");
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos)
    return response;
  response.status = std::stoi(reply.substr(9, 3));
  response.head = reply.substr(0, end);
  response.body = reply.substr(end + 4);
  return response;
}

class VqserveTest : public ::testing::Test {
 protected:
  // Starts vqserve with a log, the test key and `args`; reads the address it
  // announces. The shell prints its process id, then becomes vqserve.
  void Start(const std::string& args, bool with_key = true) {
    const std::string key = with_key ? " --key" + Q(Keys().pkcs8) : "";
    server_ = popen(("echo $$; exec" + kVqserve + " --log" + Q(log_) + key +
                     args + " </dev/null 2>" + Q(err_))
                        .c_str(),
                    "r");
    char pid[32], line[256];
    ASSERT_TRUE(server_ && fgets(pid, sizeof(pid), server_));
    pid_ = std::stoi(pid);
    ASSERT_TRUE(fgets(line, sizeof(line), server_)) << ReadFile(err_);
    const std::string prefix = "listening http://127.0.0.1:";
    ASSERT_EQ(0u, std::string(line).find(prefix)) << line;
    port_ = std::stoi(line + prefix.size());
    ASSERT_EQ("listening " + Base() + "/\n", line);
  }
  int Stop(int signal_number) {
    if (pid_ > 0) kill(pid_, signal_number);
    const int status = pclose(server_);
    server_ = nullptr;
    return ExitCode(status);
  }
  void TearDown() override {
    if (server_) {
      EXPECT_EQ(0, Stop(SIGTERM)) << ReadFile(err_);
    }
  }
  HttpResponse Post(const std::string& path,
                    const std::string& form = "feedId=1") const {
    return Request(port_, "POST", path, form);
  }
  HttpResponse Get(const std::string& path) const {
    return Request(port_, "GET", path, "");
  }
  std::string Base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
  }

  ScopedTempDir dir_;
  const std::string actions_ = dir_.Append("actions");
  const std::string log_ = dir_.Append("requests.jsonl");
  const std::string err_ = dir_.Append("err");
  FILE* server_ = nullptr;
  pid_t pid_ = -1;
  int port_ = 0;
};

std::string Update(int n) {
  return "<vq version=\"2.0\" update=\"" + std::to_string(n) + "\"/>";
}

TEST_F(VqserveTest, AnswersUpdatePostWithSignedDocumentAndLogsDecodedParams) {
  const std::string document = "<vq version=\"2.0\"><transaction/></vq>\n";
  WriteFile(dir_.Append("fixed.xml"), document);
  Start(" --fixed" + Q(dir_.Append("fixed.xml")));
  // Query parameters come first; the body is encoded the way the agent
  // encodes (every punctuation byte escaped), with malformed parts too.
  const HttpResponse response =
      Post("/vq.php?sign=true",
           "feedId=7&os=Linux+6%2e1&vq=%3cvqfeed+version%3d%222%2e0%22%2f%3e"
           "&p1=a%00b%ff&&flag&eq=a=b&bad=%zz%4&p=%2B+");
  ASSERT_EQ(200, response.status);
  EXPECT_EQ(document, response.body);
  EXPECT_EQ(0u, response.Header("Content-Type").find("text/xml"));
  EXPECT_TRUE(Verifies(response.body, response.Header("xxx-vq-sig")))
      << response.head;
  EXPECT_EQ(
      "{\"page\":\"vq.php\",\"method\":\"POST\",\"uri\":\"/vq.php\","
      "\"status\":200,\"params\":[[\"sign\",\"true\"],[\"feedId\",\"7\"],"
      "[\"os\",\"Linux 6.1\"],[\"vq\",\"<vqfeed version=\\\"2.0\\\"/>\"],"
      "[\"p1\",\"a\\u0000b\\u00ff\"],[\"flag\",\"\"],[\"eq\",\"a=b\"],"
      "[\"bad\",\"%zz%4\"],[\"p\",\"+ \"]]}\n",
      ReadFile(log_));
}

TEST_F(VqserveTest, FolderDocumentsTakeTurnsAndErrorReportsHaveTheirOwn) {
  // Name order is bytewise; hidden files and sub-folders are not documents.
  WriteFile(actions_ + "/2.xml", Update(2));
  WriteFile(actions_ + "/10.xml", Update(10));
  WriteFile(actions_ + "/.hidden.xml", "hidden");
  vq_testing::MakeDirs(actions_ + "/3");
  WriteFile(dir_.Append("errors/1.xml"), "<e1/>");
  WriteFile(dir_.Append("errors/2.xml"), "<e2/>");
  Start(" --loop --actions" + Q(actions_) + " --error-actions" +
        Q(dir_.Append("errors")));
  EXPECT_EQ(Update(10), Post("/vq.php").body);
  EXPECT_EQ("<e1/>", Post("/vqerror.php").body);
  EXPECT_EQ(Update(2), Post("/vq.php").body);
  EXPECT_EQ(Update(10), Post("/vq.php").body);
  const HttpResponse error_answer = Post("/vqerror.php", "errCode=250");
  EXPECT_EQ("<e2/>", error_answer.body);
  EXPECT_TRUE(Verifies(error_answer.body, error_answer.Header("xxx-vq-sig")));
  EXPECT_EQ("<e1/>", Post("/vqerror.php").body);
}

TEST_F(VqserveTest, ConcurrentRequestsEachTakeTheirOwnDocumentThenTheLast) {
  std::vector<std::string> expected, bodies(12);
  for (int i = 10; i < 22; ++i) {
    WriteFile(actions_ + "/" + std::to_string(i) + ".xml", Update(i));
    expected.push_back(Update(i));
  }
  Start(" --threads 6 --actions" + Q(actions_));
  std::vector<std::thread> clients;
  for (std::string& body : bodies)
    clients.emplace_back([this, &body] { body = Post("/vq.php").body; });
  for (std::thread& client : clients) client.join();
  std::sort(bodies.begin(), bodies.end());
  EXPECT_EQ(expected, bodies);
  // Without --loop the last document stays; without --error-actions error
  // reports get the empty envelope.
  EXPECT_EQ(Update(21), Post("/vq.php").body);
  EXPECT_EQ("<vq version=\"2.0\"/>\n", Post("/vqerror.php").body);
  const std::string log = ReadFile(log_);
  EXPECT_EQ(14, std::count(log.begin(), log.end(), '\n'));
}

TEST_F(VqserveTest, ServesDownloadsConfinedAndFillsInPlaceholders) {
  const std::string downloads = dir_.Append("files");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>(i * 7));
  WriteFile(downloads + "/app.bin", binary);
  WriteFile(downloads + "/sub/data.txt", "nested\n");
  WriteFile(dir_.Append("secret"), "outside");
  ASSERT_EQ(
      0, symlink(dir_.Append("secret").c_str(), (downloads + "/link").c_str()));
  WriteFile(dir_.Append("fixed.xml"),
            "${download.base}/app.bin ${download.md5:app.bin} ${server.base} "
            "${dir.data} ${download.md5:no} ${");
  Start(" --fixed" + Q(dir_.Append("fixed.xml")) + " --downloads" +
        Q(downloads));
  const std::string md5 = Exec("md5sum", binary).out.substr(0, 32);
  const HttpResponse document = Post("/vq.php");
  EXPECT_EQ(Base() + "/files/app.bin " + md5 + " " + Base() +
                " ${dir.data} ${download.md5:no} ${",
            document.body);
  // The signature covers what was sent, after expansion.
  EXPECT_TRUE(Verifies(document.body, document.Header("xxx-vq-sig")));
  EXPECT_TRUE(WaitFor([&] {
    return ReadFile(err_).find("${download.md5:no}") != std::string::npos;
  }));
  EXPECT_TRUE(Get("/files/app.bin").body == binary);
  EXPECT_EQ("nested\n", Get("/files/sub/data.txt").body);
  for (const char* path :
       {"/files/sub", "/files/link", "/files/%2e%2e/secret", "/other.php"})
    EXPECT_EQ(404, Get(path).status) << path;
  EXPECT_EQ(405, Post("/files/app.bin").status);
}

TEST_F(VqserveTest, SigningModesPortFileAndDefaultAnswer) {
  const std::string port_file = dir_.Append("port");
  Start(" --no-sign --port-file" + Q(port_file), /*with_key=*/false);
  EXPECT_EQ(Base() + "/\n", ReadFile(port_file));
  // The default answer is the empty envelope, on any path prefix.
  const HttpResponse unsigned_answer = Post("/updates/vq.php");
  EXPECT_EQ("<vq version=\"2.0\"/>\n", unsigned_answer.body);
  EXPECT_EQ("", unsigned_answer.Header("xxx-vq-sig"));
  ASSERT_EQ(0, Stop(SIGINT));
  EXPECT_FALSE(vq_testing::PathExists(port_file));
  EXPECT_EQ(0, Post("/vq.php").status);  // Nobody listens any more.

  Start(" --bad-sign");
  const HttpResponse bad = Post("/vq.php");
  // Well-formed, a full-length signature, yet it does not match.
  EXPECT_EQ(256u, Base64Decode(bad.Header("xxx-vq-sig")).size());
  EXPECT_FALSE(Verifies(bad.body, bad.Header("xxx-vq-sig")));
}

TEST(VqserveSetupTest, RefusesNonLoopbackAddressesAndBadSetups) {
  ScopedTempDir dir;
  const std::string k = " --key" + Q(Keys().pkcs8), doc = Q(dir.Append("doc")),
                    empty = Q(dir.Append("empty"));
  WriteFile(dir.Append("doc"), Update(1));
  vq_testing::MakeDirs(dir.Append("empty"));
  const struct {
    int status;
    std::string message, args;
  } cases[] = {
      {1, "not a loopback", k + " --listen 0.0.0.0:0"},
      {1, "loopback", k + " --listen example.org:80"},
      {1, "nowhere", k + " --actions" + Q(dir.Append("nowhere"))},
      {1, "no document", k + " --actions" + empty},
      {1, "not a directory", k + " --downloads" + doc},
      {1, "cannot write", k + " --port-file" + Q(dir.Append("no/port"))},
      {1, "private key", " --key" + doc},
      {2, "--key", ""},
      {2, "exclude", k + " --fixed" + doc + " --actions" + empty},
      {2, "exclude", k + " --no-sign --bad-sign"},
      {2, "--threads", k + " --threads 0"},
      {2, "unknown", k + " --what"},
  };
  for (const auto& c : cases) {
    const RunResult result = Exec(kVqserve + c.args);
    EXPECT_EQ(c.status, result.exit_code) << c.args;
    EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    EXPECT_EQ("", result.out);
  }
  const RunResult help = Exec(kVqserve + " --help");
  EXPECT_EQ(0, help.exit_code);
  for (const char* text :
       {"Usage: vqserve", "--error-actions", "${download.base}", "xxx-vq-sig"})
    EXPECT_NE(std::string::npos, help.out.find(text)) << text;
}

}  // namespace
