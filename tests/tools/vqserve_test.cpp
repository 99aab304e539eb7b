// Runs the vqserve executable as a child process and talks to it over real
// HTTP on 127.0.0.1; signatures are checked with the openssl command-line
// tool.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tool_test_support.h"

namespace {

using vqtest::fileExists;
using vqtest::HttpResponse;
using vqtest::readFile;
using vqtest::testKeys;
using vqtest::writeFile;

const std::string kVqserve = VQSERVE_PATH;

std::vector<std::string> logLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = readFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

class VqserveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    actions_ = dir_.file("actions");
    downloads_ = dir_.file("files");
    log_ = dir_.file("requests.jsonl");
    ASSERT_EQ(0, ::mkdir(actions_.c_str(), 0700));
    ASSERT_EQ(0, ::mkdir(downloads_.c_str(), 0700));
  }

  // Starts vqserve with |args| after the key and log options and reads the
  // announced address.
  void start(std::vector<std::string> args, bool with_key = true) {
    std::vector<std::string> argv = {kVqserve, "--log", log_};
    if (with_key)
      argv.insert(argv.end(), {"--key", testKeys().private_pem});
    argv.insert(argv.end(), args.begin(), args.end());
    server_.reset(new vqtest::ChildProcess(argv));
    std::string line;
    ASSERT_TRUE(server_->readLine(&line)) << server_->errors();
    const std::string prefix = "listening http://127.0.0.1:";
    ASSERT_EQ(0u, line.find(prefix)) << line;
    ASSERT_EQ('/', line.back()) << line;
    port_ = std::stoi(line.substr(prefix.size()));
    ASSERT_GT(port_, 0);
  }

  HttpResponse post(const std::string& path,
                    const std::string& form = "feedId=1") {
    return vqtest::httpRequest(port_, "POST", path, form);
  }
  HttpResponse get(const std::string& path) {
    return vqtest::httpRequest(port_, "GET", path);
  }

  std::string base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
  }

  void TearDown() override {
    if (server_) {
      EXPECT_EQ(0, server_->stop(SIGTERM)) << server_->errors();
    }
  }

  vqtest::TempDir dir_;
  std::string actions_;
  std::string downloads_;
  std::string log_;
  std::unique_ptr<vqtest::ChildProcess> server_;
  int port_ = 0;
};

TEST_F(VqserveTest, AnswersUpdatePostWithSignedDocumentAndLogsDecodedParams) {
  const std::string document =
      "<vq version=\"2.0\" update=\"30\"><transaction/></vq>\n";
  writeFile(dir_.file("fixed.xml"), document);
  start({"--fixed", dir_.file("fixed.xml")});

  // Encoded the way the agent encodes: every punctuation byte escaped.
  const HttpResponse response = post("/vq.php",
                                     "feedId=7&build=1%2e2&os=Linux+6%2e1&vq=%"
                                     "3cvqfeed+version%3d%222%2e0%22%2f%3e"
                                     "&p1=a%00b%ff&sign=true");
  ASSERT_EQ(200, response.status);
  EXPECT_EQ(document, response.body);
  EXPECT_EQ(0u, response.headers.at("content-type").find("text/xml"));
  ASSERT_EQ(1u, response.headers.count("xxx-vq-sig"));
  EXPECT_TRUE(vqtest::opensslVerifies(response.body,
                                      response.headers.at("xxx-vq-sig")));

  const std::vector<std::string> lines = logLines(log_);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(
      "{\"page\":\"vq.php\",\"method\":\"POST\",\"uri\":\"/"
      "vq.php\",\"status\":200,"
      "\"params\":[[\"feedId\",\"7\"],[\"build\",\"1.2\"],[\"os\",\"Linux "
      "6.1\"],"
      "[\"vq\",\"<vqfeed "
      "version=\\\"2.0\\\"/>\"],[\"p1\",\"a\\u0000b\\u00ff\"],"
      "[\"sign\",\"true\"]]}",
      lines[0]);
}

TEST_F(VqserveTest, ServesFolderDocumentsInNameOrderThenRepeatsTheLast) {
  // Hidden files and sub-folders are not documents.
  writeFile(actions_ + "/b.xml", "<vq version=\"2.0\" update=\"2\"/>");
  writeFile(actions_ + "/a.xml", "<vq version=\"2.0\" update=\"1\"/>");
  writeFile(actions_ + "/c.xml", "<vq version=\"2.0\" update=\"3\"/>");
  writeFile(actions_ + "/.hidden.xml", "hidden");
  ASSERT_EQ(0, ::mkdir((actions_ + "/d").c_str(), 0700));
  start({"--actions", actions_});

  std::vector<std::string> bodies;
  for (int i = 0; i < 5; ++i)
    bodies.push_back(post("/vq.php").body);
  EXPECT_EQ((std::vector<std::string>{"<vq version=\"2.0\" update=\"1\"/>",
                                      "<vq version=\"2.0\" update=\"2\"/>",
                                      "<vq version=\"2.0\" update=\"3\"/>",
                                      "<vq version=\"2.0\" update=\"3\"/>",
                                      "<vq version=\"2.0\" update=\"3\"/>"}),
            bodies);
  // Error reports have their own answers and do not use up update turns.
  EXPECT_EQ("<vq version=\"2.0\"/>\n", post("/vqerror.php").body);
}

TEST_F(VqserveTest, LoopWrapsAndErrorActionsHaveTheirOwnTurn) {
  writeFile(actions_ + "/1.xml", "<vq version=\"2.0\" update=\"1\"/>");
  writeFile(actions_ + "/2.xml", "<vq version=\"2.0\" update=\"2\"/>");
  const std::string errors = dir_.file("errors");
  ASSERT_EQ(0, ::mkdir(errors.c_str(), 0700));
  writeFile(errors + "/1.xml", "<vq version=\"2.0\"><e1/></vq>");
  writeFile(errors + "/2.xml", "<vq version=\"2.0\"><e2/></vq>");
  start({"--actions", actions_, "--error-actions", errors, "--loop"});

  EXPECT_EQ("<vq version=\"2.0\" update=\"1\"/>", post("/vq.php").body);
  EXPECT_EQ("<vq version=\"2.0\"><e1/></vq>", post("/vqerror.php").body);
  EXPECT_EQ("<vq version=\"2.0\" update=\"2\"/>", post("/vq.php").body);
  EXPECT_EQ("<vq version=\"2.0\" update=\"1\"/>", post("/vq.php").body);
  const HttpResponse error_answer =
      post("/vqerror.php", "errCode=250&lastUrl=NO+URL");
  EXPECT_EQ("<vq version=\"2.0\"><e2/></vq>", error_answer.body);
  EXPECT_TRUE(vqtest::opensslVerifies(error_answer.body,
                                      error_answer.headers.at("xxx-vq-sig")));
  EXPECT_EQ("<vq version=\"2.0\"><e1/></vq>", post("/vqerror.php").body);
}

TEST_F(VqserveTest, ConcurrentRequestsEachTakeTheirOwnDocument) {
  constexpr int kDocuments = 12;
  for (int i = 0; i < kDocuments; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "/%02d.xml", i);
    writeFile(actions_ + name,
              "<vq version=\"2.0\" update=\"" + std::to_string(i) + "\"/>");
  }
  start({"--actions", actions_, "--threads", "6"});
  std::vector<std::string> bodies(kDocuments);
  std::vector<std::thread> clients;
  for (int i = 0; i < kDocuments; ++i) {
    clients.emplace_back(
        [this, i, &bodies] { bodies[i] = post("/vq.php").body; });
  }
  for (std::thread& client : clients)
    client.join();
  std::sort(bodies.begin(), bodies.end());
  std::vector<std::string> expected;
  for (int i = 0; i < kDocuments; ++i) {
    expected.push_back("<vq version=\"2.0\" update=\"" + std::to_string(i) +
                       "\"/>");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, bodies);
  EXPECT_EQ(static_cast<size_t>(kDocuments), logLines(log_).size());
}

TEST_F(VqserveTest, ServesDownloadsAndFillsInPlaceholders) {
  std::string binary;
  for (int i = 0; i < 70000; ++i)
    binary.push_back(static_cast<char>(i * 7));
  writeFile(downloads_ + "/app.bin", binary);
  ASSERT_EQ(0, ::mkdir((downloads_ + "/sub").c_str(), 0700));
  writeFile(downloads_ + "/sub/data.txt", "nested\n");
  writeFile(dir_.file("secret"), "outside");
  ASSERT_EQ(0, ::symlink(dir_.file("secret").c_str(),
                         (downloads_ + "/link").c_str()));
  writeFile(
      dir_.file("fixed.xml"),
      "<vq version=\"2.0\"><transaction><web url=\"${download.base}/app.bin\" "
      "md5=\"${download.md5:app.bin}\" filename=\"${dir.data}/app.bin\"/>"
      "<launch><command>${server.base}</command></launch>"
      "<web md5=\"${download.md5:none}\"/></transaction></vq>");
  start({"--fixed", dir_.file("fixed.xml"), "--downloads", downloads_});

  const HttpResponse document = post("/vq.php");
  ASSERT_EQ(200, document.status);
  EXPECT_EQ("<vq version=\"2.0\"><transaction><web url=\"" + base() +
                "/files/app.bin\" md5=\"" + vqtest::opensslMd5(binary) +
                "\" filename=\"${dir.data}/app.bin\"/><launch><command>" +
                base() +
                "</command></launch><web "
                "md5=\"${download.md5:none}\"/></transaction></vq>",
            document.body);
  // The signature covers what was sent, after expansion.
  EXPECT_TRUE(vqtest::opensslVerifies(document.body,
                                      document.headers.at("xxx-vq-sig")));
  EXPECT_TRUE(vqtest::waitFor([&] {
    return server_->errors().find("${download.md5:none}") != std::string::npos;
  }));

  const HttpResponse download = get("/files/app.bin");
  EXPECT_EQ(200, download.status);
  EXPECT_TRUE(download.body == binary) << download.body.size();
  EXPECT_EQ("nested\n", get("/files/sub/data.txt").body);
  for (const char* path :
       {"/files/missing", "/files/sub", "/files/link", "/files/%2e%2e/secret",
        "/files/sub/../../secret", "/files/", "/other.php"}) {
    EXPECT_EQ(404, get(path).status) << path;
  }
  EXPECT_EQ(405, post("/files/app.bin").status);
}

TEST_F(VqserveTest, NoSignOmitsTheHeaderAndBadSignSendsOneThatFails) {
  writeFile(dir_.file("fixed.xml"), "<vq version=\"2.0\"/>");
  start({"--fixed", dir_.file("fixed.xml"), "--no-sign"}, /*with_key=*/false);
  const HttpResponse unsigned_answer = post("/vq.php");
  EXPECT_EQ(200, unsigned_answer.status);
  EXPECT_EQ(0u, unsigned_answer.headers.count("xxx-vq-sig"));
  ASSERT_EQ(0, server_->stop(SIGINT));
  server_.reset();

  start({"--fixed", dir_.file("fixed.xml"), "--bad-sign"});
  const HttpResponse bad = post("/vq.php");
  EXPECT_EQ("<vq version=\"2.0\"/>", bad.body);
  ASSERT_EQ(1u, bad.headers.count("xxx-vq-sig"));
  // Well-formed: decodes to a full-length signature; yet it does not match.
  EXPECT_EQ(256u,
            vqtest::opensslBase64Decode(bad.headers.at("xxx-vq-sig")).size());
  EXPECT_FALSE(vqtest::opensslVerifies(bad.body, bad.headers.at("xxx-vq-sig")));
}

TEST_F(VqserveTest, PortFileAppearsWhileListeningAndGoesOnSignal) {
  const std::string port_file = dir_.file("port");
  start({"--port-file", port_file});
  ASSERT_TRUE(fileExists(port_file));
  EXPECT_EQ(base() + "/\n", readFile(port_file));
  // Default answers are the empty, valid envelope, on any path prefix.
  EXPECT_EQ("<vq version=\"2.0\"/>\n", post("/updates/vq.php").body);
  EXPECT_EQ(0, server_->stop(SIGTERM));
  server_.reset();
  EXPECT_FALSE(fileExists(port_file));
  EXPECT_EQ(0, get("/vq.php").status);  // Nobody listens any more.
}

TEST_F(VqserveTest, RefusesNonLoopbackAddressesAndBadSetups) {
  writeFile(dir_.file("doc.xml"), "<vq version=\"2.0\"/>");
  const std::string key = testKeys().private_pem;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--key", key, "--listen", "0.0.0.0:0"}, 1, "not a loopback"},
      {{"--key", key, "--listen", "192.168.1.1:0"}, 1, "not a loopback"},
      {{"--key", key, "--listen", "example.org:80"}, 1, "loopback"},
      {{"--key", key, "--actions", dir_.file("nowhere")}, 1, "nowhere"},
      {{"--key", key, "--actions", actions_}, 1, "no document"},
      {{"--key", key, "--downloads", dir_.file("doc.xml")},
       1,
       "not a directory"},
      {{"--key", key, "--port-file", dir_.file("no/such/dir/port")},
       1,
       "cannot write"},
      {{"--key", dir_.file("doc.xml")}, 1, "private key"},
      {{}, 2, "--key"},
      {{"--key", key, "--fixed", dir_.file("doc.xml"), "--actions", actions_},
       2,
       "exclude"},
      {{"--key", key, "--no-sign", "--bad-sign"}, 2, "exclude"},
      {{"--key", key, "--threads", "0"}, 2, "--threads"},
      {{"--key", key, "--what"}, 2, "unknown"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {kVqserve};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const vqtest::RunResult result = vqtest::run(argv);
    EXPECT_EQ(c.status, result.exit_code) << c.message;
    EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
}

TEST(VqserveHelpTest, HelpDescribesOptionsAndPlaceholders) {
  const vqtest::RunResult help = vqtest::run({kVqserve, "--help"});
  EXPECT_EQ(0, help.exit_code);
  for (const char* text :
       {"Usage: vqserve", "--listen", "--actions", "--fixed", "--error-actions",
        "--downloads", "--log", "--no-sign", "--bad-sign", "--port-file",
        "${download.base}", "xxx-vq-sig"}) {
    EXPECT_NE(std::string::npos, help.out.find(text)) << text;
  }
}

}  // namespace
