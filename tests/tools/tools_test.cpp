// Runs vqsign and vqserve through /bin/sh, talks HTTP to vqserve on 127.0.0.1
// and checks signatures with the openssl command, apart from the code tested.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/scoped_temp_dir.h"
#include "vqserve/download_folder.h"
#include "vqserve/json_text.h"
#include "vqserve/loopback_address.h"

namespace {

using vq_testing::ReadFile;
using vq_testing::ScopedTempDir;
using vq_testing::WriteFile;
using vqtools::LoopbackAddress;

// " 'path'": one shell word (the paths used here hold no quote).
std::string Q(const std::string& path) { return " '" + path + "'"; }

const std::string kVqsign = Q(VQSIGN_PATH);
const std::string kVqserve = Q(VQSERVE_PATH);

int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct RunResult { int exit_code; std::string out, err; };

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
struct TestKeys { std::string pkcs8, pkcs1, spki; };
const TestKeys& Keys() {
  static const ScopedTempDir dir;
  static const TestKeys keys{dir.Append("key.pem"), dir.Append("pkcs1.pem"),
                             dir.Append("pub.pem")};
  static const int made = Exec(
      "{ openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out" +
      Q(keys.pkcs8) + " && openssl rsa -in" + Q(keys.pkcs8) +
      " -traditional -out" + Q(keys.pkcs1) + " && openssl rsa -in" +
      Q(keys.pkcs8) + " -pubout -out" + Q(keys.spki) + "; }").exit_code;
  if (made != 0) throw std::runtime_error("openssl could not make the key");
  return keys;
}

// True when `signature` (Base64) is an RSA SHA-1 (or `digest`) signature of
// `data`.
bool Verifies(const std::string& data, const std::string& signature,
              const std::string& digest = "sha1") {
  ScopedTempDir dir;
  WriteFile(dir.Append("data"), data);
  WriteFile(dir.Append("sig"), Exec("openssl base64 -d -A", signature).out);
  return Exec("openssl dgst -" + digest + " -verify" + Q(Keys().spki) + " -signature" +
              Q(dir.Append("sig")) + Q(dir.Append("data")))
             .out == "Verified OK\n";
}

RunResult Sign(const std::string& key, const std::string& file,
               const std::string& input = "") {
  return Exec(kVqsign + " --key" + Q(key) + Q(file), input);
}

TEST(VqsignTest, SignsExactBytesFromFileOrStdinAndPrintsPkcs1PublicKey) {
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
  // PKCS#1 v1.5 signatures are deterministic: every route prints the same.
  EXPECT_EQ(result.out, Sign(Keys().pkcs8, "-", data).out);
  EXPECT_EQ(result.out, Sign(Keys().pkcs1, dir.Append("doc")).out);
  WriteFile(dir.Append("empty"), "");
  const std::string empty = Sign(Keys().pkcs8, dir.Append("empty")).out;
  EXPECT_TRUE(Verifies("", empty.substr(0, empty.find('\n'))));
  // The agent embeds exactly this form of the public key.
  EXPECT_EQ(Exec("openssl rsa -RSAPublicKey_out -in" + Q(Keys().pkcs8)).out,
            Exec(kVqsign + " --public-key --key" + Q(Keys().pkcs8)).out);
}

const std::string kNonce = "00112233445566778899aabbccddeeff";

// The bytes the second signature covers, as the protocol documents them.
std::string SecondMessage(const std::string& nonce, const std::string& body) {
  return "vq-answer-sig2\n" + nonce + "\n" + body;
}

std::string Line(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

TEST(VqsignTest, SignsForANonceAndStampsExpiries) {
  ScopedTempDir dir;
  const std::string doc = "<?xml version=\"1.0\"?>\n<!-- c --><vq version=\"2.0\">"
                          "<transaction/></vq>\n";
  WriteFile(dir.Append("doc"), doc);
  const std::string key = " --key" + Q(Keys().pkcs8);
  RunResult second = Exec(kVqsign + key + " --nonce " + kNonce + Q(dir.Append("doc")));
  ASSERT_EQ(0, second.exit_code) << second.err;
  EXPECT_TRUE(Verifies(SecondMessage(kNonce, doc), Line(second.out), "sha256"));

  // An expiry goes into the root element; what is printed signs the output.
  RunResult stamped = Exec(kVqsign + key + " --expires 2031-01-02T03:04:05Z --output" +
                           Q(dir.Append("out")) + Q(dir.Append("doc")));
  ASSERT_EQ(0, stamped.exit_code) << stamped.err;
  const std::string out = ReadFile(dir.Append("out"));
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<!-- c --><vq expires=\"2031-01-02T03:04:05Z\" "
            "version=\"2.0\"><transaction/></vq>\n", out);
  EXPECT_TRUE(Verifies(out, Line(stamped.out)));
  // Stamping again replaces the expiry instead of adding a second one.
  WriteFile(dir.Append("doc2"), "<vq expires='2020-01-01T00:00:00Z' version='2.0'/>");
  ASSERT_EQ(0, Exec(kVqsign + key + " --expires-in 60 --nonce " + kNonce + " --output" +
                    Q(dir.Append("out2")) + Q(dir.Append("doc2"))).exit_code);
  const std::string out2 = ReadFile(dir.Append("out2"));
  EXPECT_EQ(0u, out2.find("<vq expires='20")) << out2;
  EXPECT_EQ(std::string::npos, out2.find("2020-01-01")) << out2;
  EXPECT_EQ(1, std::count(out2.begin(), out2.end(), 'Z'));

  for (const std::string& args :
       {" --nonce 0011" + Q(dir.Append("doc")),
        " --nonce 00112233445566778899AABBCCDDEEFF" + Q(dir.Append("doc")),
        " --expires-in 60" + Q(dir.Append("doc")),
        " --expires-in -5 --output" + Q(dir.Append("x")) + Q(dir.Append("doc")),
        " --expires 2031-01-02 --output" + Q(dir.Append("x")) + Q(dir.Append("doc"))}) {
    EXPECT_EQ(2, Exec(kVqsign + key + args).exit_code) << args;
  }
}

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

HttpResponse Request(int port, const std::string& method, const std::string& path,
                     const std::string& form) {
  const std::string reply = vq_testing::LoopbackExchange(
      port, method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            "Content-Length: " + std::to_string(form.size()) +
            "\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n" + form);
  const size_t end = reply.find("\r\n\r\n");
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos) return {};
  return {std::stoi(reply.substr(9, 3)), reply.substr(0, end), reply.substr(end + 4)};
}

class VqserveTest : public ::testing::Test {
 protected:
  // Starts vqserve with a log, the test key and `args`; the shell prints its
  // process id, then becomes vqserve, which announces its address.
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
    sscanf(line, "listening http://127.0.0.1:%d", &port_);
    ASSERT_EQ("listening " + Base() + "/\n", line);
  }
  int Stop(int signal_number) {
    if (pid_ > 0) kill(pid_, signal_number);
    const int status = pclose(server_);
    server_ = nullptr;
    return ExitCode(status);
  }
  void TearDown() override {
    EXPECT_EQ(0, server_ ? Stop(SIGTERM) : 0) << ReadFile(err_);
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

TEST_F(VqserveTest, SignsASecondTimeForAWellFormedNonce) {
  Start("");
  const HttpResponse signed_ = Post("/vq.php", "feedId=1&nonce=" + kNonce);
  ASSERT_EQ(200, signed_.status);
  EXPECT_TRUE(Verifies(signed_.body, signed_.Header("xxx-vq-sig")));
  EXPECT_TRUE(Verifies(SecondMessage(kNonce, signed_.body),
                       signed_.Header("xxx-vq-sig2"), "sha256"))
      << signed_.head;
  // Error pages too; a nonce that is not 32 lower-case hex digits gets none.
  EXPECT_NE("", Post("/vqerror.php", "nonce=" + kNonce).Header("xxx-vq-sig2"));
  for (const std::string& form : {std::string("feedId=1"), std::string("nonce=0011"),
                                  "nonce=" + kNonce + "0", std::string("nonce=")}) {
    const HttpResponse response = Post("/vq.php", form);
    EXPECT_EQ("", response.Header("xxx-vq-sig2")) << form;
    EXPECT_NE("", response.Header("xxx-vq-sig")) << form;
  }
}

// The agent checks what else an export holds through nginx (e2e): the
// signatures of channel.conf, the digests and the listen address.
TEST(VqserveExportTest, StampsEveryAnswerWithTheExpiryAndRefusesBadUsage) {
  ScopedTempDir dir;
  WriteFile(dir.Append("doc.xml"), Update(1));
  const std::string out = dir.Append("channel");
  const RunResult result = Exec(kVqserve + " export" + Q(out) + " --key" + Q(Keys().pkcs8) +
                                " --fixed" + Q(dir.Append("doc.xml")) +
                                " --expires 2031-01-02T03:04:05Z");
  ASSERT_EQ(0, result.exit_code) << result.err;
  for (const char* answer : {"/answers/vq.xml", "/answers/vqerror.xml"})
    EXPECT_EQ(0u, ReadFile(out + answer).find("<vq expires=\"2031-01-02T03:04:05Z\"")) << answer;
  // A listen address that would break out of its directive is refused.
  EXPECT_EQ(2, Exec(kVqserve + " export" + Q(out) + " --key" + Q(Keys().pkcs8) +
                    " --listen '1; include /etc/passwd'").exit_code);
  EXPECT_EQ(2, Exec(kVqserve + " export --key" + Q(Keys().pkcs8)).exit_code);
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
  EXPECT_EQ("<e2/>", Post("/vqerror.php", "errCode=250").body);
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
  EXPECT_TRUE(Get("/files/app.bin").body == binary);
  EXPECT_EQ("nested\n", Get("/files/sub/data.txt").body);
  for (const char* path : {"/files/sub", "/files/%2e%2e/secret", "/other.php"})
    EXPECT_EQ(404, Get(path).status) << path;
  EXPECT_EQ(405, Post("/files/app.bin").status);
}

// What the port file holds, every test that runs the agent against vqserve
// reads; that unsigned and badly signed answers are refused for what they
// are, the signature examples of docs/protocol.md show.
TEST_F(VqserveTest, SigningModesPortFileAndDefaultAnswer) {
  const std::string port_file = dir_.Append("port");
  Start(" --no-sign --port-file" + Q(port_file), /*with_key=*/false);
  // The default answer is the empty envelope, on any path prefix.
  EXPECT_EQ("<vq version=\"2.0\"/>\n", Post("/updates/vq.php").body);
  ASSERT_EQ(0, Stop(SIGINT));
  EXPECT_FALSE(vq_testing::PathExists(port_file));

  Start(" --bad-sign");
  // A full-length signature, so that the agent's check of it runs.
  EXPECT_EQ(256u,
            Exec("openssl base64 -d -A", Post("/vq.php").Header("xxx-vq-sig")).out.size());
}

// Unusable keys, files and setups fail with 1 and a message; bad usage
// fails with 2.
TEST(CommandLineTest, RefusesUnusableInputsAndBadUsage) {
  ScopedTempDir dir;
  const std::string k = " --key" + Q(Keys().pkcs8), doc = Q(dir.Append("doc")),
                    empty = Q(dir.Append("empty"));
  WriteFile(dir.Append("doc"), Update(1));
  vq_testing::MakeDirs(dir.Append("empty"));
  // An encrypted key must fail rather than wait for a pass phrase.
  ASSERT_EQ(0, Exec("openssl genpkey -algorithm RSA -pkeyopt "
                    "rsa_keygen_bits:1024 -aes128 -pass pass:secret -out" +
                    Q(dir.Append("encrypted.pem")) +
                    " && openssl genpkey -algorithm EC -pkeyopt "
                    "ec_paramgen_curve:P-256 -out" + Q(dir.Append("ec.pem")))
                   .exit_code);
  const struct { int status; std::string message, command; } cases[] = {
      {1, "vqsign: ", kVqsign + " --key" + Q(dir.Append("none.pem")) + doc},
      {1, "vqsign: ", kVqsign + " --key" + Q(dir.Append("encrypted.pem")) + doc},
      {1, "vqsign: ", kVqsign + " --key" + Q(dir.Append("ec.pem")) + doc},
      {1, "vqsign: ", kVqsign + " --key" + Q(Keys().spki) + doc},
      {1, "vqsign: ", kVqsign + k + Q(dir.Append("none"))},
      {2, "--help", kVqsign},
      {2, "--help", kVqsign + " --key"},
      {2, "--help", kVqsign + k},
      {2, "--help", kVqsign + k + " a b"},
      {2, "--help", kVqsign + k + " --public-key a"},
      {2, "--help", kVqsign + k + " --bogus a"},
      {1, "not a loopback", kVqserve + k + " --listen 0.0.0.0:0"},
      {1, "nowhere", kVqserve + k + " --actions" + Q(dir.Append("nowhere"))},
      {1, "no document", kVqserve + k + " --actions" + empty},
      {1, "not a directory", kVqserve + k + " --downloads" + doc},
      {1, "cannot write", kVqserve + k + " --port-file" + Q(dir.Append("a/b"))},
      {1, "private key", kVqserve + " --key" + doc},
      {2, "--key", kVqserve},
      {2, "exclude", kVqserve + k + " --fixed" + doc + " --actions" + empty},
      {2, "exclude", kVqserve + k + " --no-sign --bad-sign"},
      {2, "--threads", kVqserve + k + " --threads 0"},
      {2, "unknown", kVqserve + k + " --what"},
  };
  for (const auto& c : cases) {
    const RunResult result = Exec(c.command);
    EXPECT_EQ(c.status, result.exit_code) << c.command;
    EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    EXPECT_EQ("", result.out);
  }
  EXPECT_EQ(0u, Exec(kVqsign + " --help").out.find("Usage: vqsign"));
  EXPECT_EQ(0u, Exec(kVqserve + " --help").out.find("Usage: vqserve"));
}

TEST(JsonTextTest, EscapesControlsQuotesAndInvalidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
      {std::string("\n\r\t\b\f\0\x1f\x7f", 8),
       "\"\\n\\r\\t\\b\\f\\u0000\\u001f\\u007f\""},
      // Well-formed UTF-8 of 2, 3 and 4 bytes passes unchanged.
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
       "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      // Stray continuation, truncated, overlong, surrogate, above U+10FFFF.
      {"\x80", "\"\\u0080\""},
      {"\xe2\x82", "\"\\u00e2\\u0082\""},
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
      // A bad lead byte does not swallow the valid text after it.
      {"\xff" "a\xc3\xa9", "\"\\u00ffa\xc3\xa9\""},
  };
  for (const auto& [text, json] : cases)
    EXPECT_EQ(json, vqtools::jsonString(text));
}

TEST(LoopbackAddressTest, AcceptsOnlyLoopback) {
  LoopbackAddress address;
  std::string error;
  for (const auto& [text, host] :
       std::vector<std::pair<std::string, std::string>>{
           {"127.0.0.1:0", "127.0.0.1"}, {"localhost:80", "127.0.0.1"},
           {"[::1]:81", "[::1]"}, {"127.8.9.10:65535", "127.8.9.10"}}) {
    ASSERT_TRUE(LoopbackAddress::parse(text, &address, &error)) << error;
    EXPECT_EQ(host, address.host);
  }
  EXPECT_EQ(65535, address.port);
  EXPECT_EQ("127.8.9.10:8080", address.listeningSpec(8080));
  for (const char* text :
       {"128.0.0.1:80", "126.255.255.255:80", "127.1:80", "0x7f.0.0.1:80",
       "[::]:80", "[::ffff:127.0.0.1]:80", "127.0.0.1", "127.0.0.1:",
       "127.0.0.1:65536", "127.0.0.1:8o"}) {
    EXPECT_FALSE(LoopbackAddress::parse(text, &address, &error)) << text;
  }
}

TEST(DownloadFolderTest, ResolvesOnlyRegularFilesInside) {
  ScopedTempDir dir;
  const std::string root = dir.Append("root");
  WriteFile(root + "/a.bin", "abc");
  WriteFile(root + "/sub/b.txt", "b");
  WriteFile(dir.Append("outside"), "secret");
  ASSERT_EQ(0,
            ::symlink(dir.Append("outside").c_str(), (root + "/out").c_str()));
  ASSERT_EQ(0, ::symlink((root + "/a.bin").c_str(), (root + "/in").c_str()));
  vqtools::DownloadFolder folder;
  std::string error;
  EXPECT_FALSE(folder.open("/", &error));
  ASSERT_TRUE(folder.open(root, &error)) << error;
  for (const char* path : {"a.bin", "sub/b.txt", "in"})  // "in" stays inside.
    EXPECT_NE("", folder.resolve(path)) << path;
  for (const std::string& path : std::vector<std::string>{
           "", "sub", "missing", "out", "../outside", "sub/../a.bin", "./a.bin",
           "sub//b.txt", "/a.bin", "a.bin/", std::string("a.bin\0x", 7)}) {
    EXPECT_EQ("", folder.resolve(path)) << path;
  }
}

}  // namespace
