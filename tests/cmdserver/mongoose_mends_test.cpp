// The server's defences: foreign Host headers, the key file under any
// spelling, header injection through "forward", markup in variables, and
// oversized documents.

#include <unistd.h>

#include <cstdio>

#include "cmdserver/server_fixture.h"

namespace cmdserver_testing {
namespace {

using MendsTest = ServerTest;

TEST_F(MendsTest, ForeignHostIsRefusedOnEveryPath) {
  const std::string other = "attacker.example:" + std::to_string(port_);
  for (const char* path : {"/~cmd/quit", "/~cmd/info", "/vq.server", "/"}) {
    for (const std::string& host : {std::string("attacker.example"), other,
                                    std::string("127.0.0.1:1")}) {
      EXPECT_EQ(Get(path, host),
                "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
                "Access is only allowed through 127.0.0.1 or localhost.")
          << path << " " << host;
    }
  }
  EXPECT_FALSE(target_->quitting);

  const std::string wake = OkHead("text/xml") + "<result wake=\"ok\" />";
  for (const std::string& host : {std::string("localhost"),
                                  std::string("LocalHost"),
                                  "127.0.0.1:" + std::to_string(port_)}) {
    EXPECT_EQ(Get("/~cmd/wake", host), wake) << host;
  }
  // HTTP/1.0 clients may leave the Host header out.
  EXPECT_EQ(Exchange(port_, "GET /~cmd/wake HTTP/1.0\r\n\r\n"), wake);
}

TEST_F(MendsTest, KeyFileIsNeverServedWhateverTheSpelling) {
  ASSERT_EQ(symlink("vq.server.key", dir_.Append("alias.txt").c_str()), 0);
  vq_testing::MakeDirs(dir_.Append("sub"));
  for (const char* path :
       {"/vq.server.key", "/%76q.server.key", "/vq%2Eserver%2Ekey",
        "/./vq.server.key", "//vq.server.key", "/sub/../vq.server.key",
        "/sub/%2E%2E/vq.server.key", "/vq.server.key/", "/vq.server.key?x=1",
        "/alias.txt", "/sub/../alias.txt"}) {
    EXPECT_EQ(Get(path),
              "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
              "Access to vq.server.key is forbidden. Please access from the "
              "file system.")
        << path;
  }
}

TEST_F(MendsTest, ForwardWithLineBreaksAddsNoHeader) {
  EXPECT_EQ(Get("/~cmd/quit?forward=http%3A%2F%2Fx%2F%0D%0ASet-Cookie%3A%20a"),
            OkHead("text/xml") + "<result quit=\"ok\" />");
  EXPECT_TRUE(target_->quitting);
  EXPECT_EQ(Get("/~cmd/quit?forward=a%0Ab").find("Location"),
            std::string::npos);
}

TEST_F(MendsTest, VariableListingEscapesMarkup) {
  target_->setEnv("<b>x", "<script>alert(\"&\")</script>");
  const std::string body = BodyOf(Get("/~cmd/info"));
  EXPECT_EQ(body.find("<script>"), std::string::npos);
  EXPECT_NE(body.find("<a href=\"info/%3Cb%3Ex\">&lt;b&gt;x</b></td>"
                      "<td>&lt;script&gt;alert(&quot;&amp;&quot;)"
                      "&lt;/script&gt;</td>"),
            std::string::npos)
      << body;
}

TEST_F(MendsTest, DocumentsAreBoundedTo16MiB) {
  const std::string tooLarge =
      "HTTP/1.1 500 Exception\r\nContent-Type: text/xml\r\n\r\n"
      "<error><![CDATA[The request body is larger than 16777216 bytes; "
      "nothing was run]]></error>";
  const std::string head = "POST " + Keyed("/~cmd/process") +
                           " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  EXPECT_EQ(Exchange(port_, head + "Content-Length: 16777217\r\n\r\n"),
            tooLarge);

  // A chunked body is counted as it arrives. The server may reset the
  // connection before its reply is read; what matters is that nothing ran.
  std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 17; ++i) chunked += "100000\r\n" + std::string(1 << 20, 'x') + "\r\n";
  const std::string answer = Exchange(port_, chunked + "0\r\n\r\n");
  if (!answer.empty()) {
    EXPECT_EQ(answer, tooLarge);
  }
  EXPECT_TRUE(target_->documents.empty());

  // Exactly at the bound is fine.
  const std::string document = "<vq>" + std::string((16 << 20) - 9, ' ') + "</vq>";
  EXPECT_EQ(BodyOf(Post(Keyed("/~cmd/process"), document)),
            "<vq><![CDATA[OK]]></vq>");
  ASSERT_EQ(target_->documents.size(), 1u);
  EXPECT_EQ(target_->documents[0].size(), Mongoose::kMaxProcessBody);
}

}  // namespace
}  // namespace cmdserver_testing
