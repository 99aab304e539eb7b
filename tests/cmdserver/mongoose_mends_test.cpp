// The server's defences: foreign hosts, header injection, markup in
// variables, oversized bodies, guessable keys.

#include <set>

#include "cmdserver/access_key.h"
#include "cmdserver/reply_text.h"
#include "cmdserver/server_fixture.h"

namespace cmdserver_testing {
namespace {

using MendsTest = ServerTest;

TEST_F(MendsTest, ForeignHostIsRefusedOnEveryPath) {
  const std::string port = std::to_string(port_);
  for (const char* path : {"/~cmd/quit", "/vq.server", "/"}) {
    for (const std::string& host :
         std::vector<std::string>{"attacker.example:" + port, "127.0.0.1:1", "",
                                  "127.0.0.1.evil.example", "localhost:" + port + ":" + port}) {
      EXPECT_EQ(Send("GET", path, {"Host: " + host}),
                "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
                "Access is only allowed through 127.0.0.1 or localhost.")
          << path << " " << host;
    }
  }
  EXPECT_TRUE(target_.calls.empty());
  for (const std::string& host :
       {std::string("LocalHost"), "localhost:" + port, "127.0.0.1:" + port}) {
    EXPECT_EQ(Send("GET", "/~cmd/wake", {"Host: " + host}),
              OkHead("text/xml") + "<result wake=\"ok\" />") << host;
  }
}

TEST_F(MendsTest, NoHeaderOrMarkupInjection) {
  // The redirect itself is a runnable example of the command pages (tests/docs).
  EXPECT_EQ(Get("/~cmd/quit?forward=http%3A%2F%2Fx%2F%0D%0ASet-Cookie%3A%20a"),
            OkHead("text/xml") + "<result quit=\"ok\" />");
  EXPECT_EQ(target_.calls, (Calls{"quit"}));

  target_.setEnv("<b>x", "<script>alert(\"&\")</script>");
  const std::string body = BodyOf(Get("/~cmd/info"));
  EXPECT_NE(body.find("<a href=\"info/%3Cb%3Ex\">&lt;b&gt;x</b></td>"
                      "<td>&lt;script&gt;alert(&quot;&amp;&quot;)&lt;/script&gt;</td>"),
            std::string::npos) << body;
  EXPECT_EQ(cmdserver::hrefEscape("a.b-c_~/d\xff"), "a.b-c_~/d%FF");
  EXPECT_EQ(cmdserver::cdataSafe("a]]>b"), "a]]]]><![CDATA[>b");
}

TEST_F(MendsTest, DocumentsAreBoundedTo16MiB) {
  const std::string tooLarge =
      "HTTP/1.1 500 Exception\r\nContent-Type: text/xml\r\n\r\n"
      "<error><![CDATA[The request body is larger than 16777216 bytes; "
      "nothing was run]]></error>";
  const std::string head = "POST " + Keyed("/~cmd/process") + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  EXPECT_EQ(LoopbackExchange(port_, head + "Content-Length: 16777217\r\n\r\n"), tooLarge);
  // A chunked body is counted as it arrives; the server may reset the
  // connection before its reply is read.
  std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 17; ++i) chunked += "100000\r\n" + std::string(1 << 20, 'x') + "\r\n";
  const std::string answer = LoopbackExchange(port_, chunked + "0\r\n\r\n");
  EXPECT_TRUE(answer.empty() || answer == tooLarge) << answer;
  EXPECT_TRUE(target_.calls.empty());
  // Exactly at the bound is fine.
  const std::string document = "<vq>" + std::string(Mongoose::kMaxProcessBody - 9, ' ') + "</vq>";
  EXPECT_EQ(BodyOf(Send("POST", Keyed("/~cmd/process"), {}, document)), "<vq><![CDATA[OK]]></vq>");
  EXPECT_EQ(target_.calls, (Calls{"process " + document}));
}

TEST(AccessKeyTest, KeysAreFreshAndUseTheWholeAlphabet) {
  std::set<std::string> keys;
  std::set<char> seen;
  for (int i = 0; i < 400; ++i) {
    const std::string key = cmdserver::makeAccessKey();
    ASSERT_EQ(key.size(), 25u);
    keys.insert(key);
    seen.insert(key.begin(), key.end());
  }
  EXPECT_EQ(keys.size(), 400u);
  EXPECT_EQ(std::string(seen.begin(), seen.end()),
            "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

}  // namespace
}  // namespace cmdserver_testing
