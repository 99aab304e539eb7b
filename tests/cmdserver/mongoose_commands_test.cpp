// Every command's reply, byte for byte, over real HTTP on 127.0.0.1.

#include <csignal>
#include <thread>

#include "cmdserver/server_fixture.h"

namespace cmdserver_testing {
namespace {

const char kKeyRefusal[] =
    "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
    "Access to this method requires a key parameter containing the contents "
    "of vq.server.key";
const char kOk[] = "<vq><![CDATA[OK]]></vq>";

using CommandTest = ServerTest;

TEST_F(CommandTest, CommandsWithoutKey) {
  EXPECT_EQ(Get("/~cmd/version"), OkHead("text/xml") + "<application />");
  EXPECT_EQ(Get("/~cmd/wake"), OkHead("text/xml") + "<result wake=\"ok\" />");
  EXPECT_EQ(Get("/~cmd/setstart"), OkHead("text/xml") + kOk);
  EXPECT_EQ(Get("/~cmd/launchswf"), OkHead("text/xml") + kOk);
  EXPECT_EQ(Get("/~cmd/path/?path=docs%2Fa.txt"),
            OkHead("text/plain") + "Testing: docs/a.txt\r\n" + dir_.path() +
                "/docs/a.txt");
  EXPECT_EQ(Get("/~cmd/path/x?path=/etc/passwd"),
            OkHead("text/plain") + "Testing: /etc/passwd\r\n");
  EXPECT_EQ(std::make_tuple(target_->wakes.load(), target_->startItems.load(),
                            target_->swfLaunches.load()),
            std::make_tuple(1, 1, 1));
  EXPECT_FALSE(target_->quitting);
  EXPECT_EQ(Get("/~cmd/quit"), OkHead("text/xml") + "<result quit=\"ok\" />");
  EXPECT_TRUE(target_->quitting);
}

TEST_F(CommandTest, QuitWithForwardRedirectsThenQuits) {
  EXPECT_EQ(Get("/~cmd/quit?forward=http%3A%2F%2F127.0.0.1%2Fdone.html"),
            "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1/done.html\r\n\r\n");
  EXPECT_TRUE(target_->quitting);
}

TEST_F(CommandTest, InfoReadsAndListsVariables) {
  EXPECT_EQ(Get("/~cmd/info/app.name"), OkHead("text/plain") + "Demo");
  // A name without a value answers empty and is listed from then on.
  EXPECT_EQ(Get("/~cmd/info/no.such"), OkHead("text/plain"));
  const std::string port = std::to_string(port_);
  auto row = [](const std::string& name, const std::string& value) {
    return "<tr><td><b><a href=\"info/" + name + "\">" + name +
           "</b></td><td>" + value + "</td></tr>";
  };
  EXPECT_EQ(Get("/~cmd/info"),
            OkHead("text/html") +
                "<html><body><h1>Application Environment</h1><table>" +
                row("app.name", "Demo") + row("dir.data", dir_.path()) +
                row("mongoose.host", "127.0.0.1:" + port) +
                row("mongoose.port", port) + row("no.such", "") +
                "</td></tr></table></body></html>");
}

TEST_F(CommandTest, SetNeedsTheKeyAndAValue) {
  for (const char* query : {"", "?key=wrong", "?key=", "?KEY=x"}) {
    EXPECT_EQ(Get(std::string("/~cmd/set/update.count/5") + query),
              kKeyRefusal);
  }
  EXPECT_EQ(target_->getEnv("update.count"), "");
  EXPECT_EQ(Get(Keyed("/~cmd/set/update.count/5")),
            OkHead("text/plain") + "update.count=5");
  // The value runs to the end of the path, slashes and escapes included.
  EXPECT_EQ(Get(Keyed("/~cmd/set/swf.app/a/b%20c.app")),
            OkHead("text/plain") + "swf.app=a/b c.app");
  EXPECT_EQ(Get(Keyed("/~cmd/set/update.count")),
            "HTTP/1.1 500 Error: No value specified\r\n"
            "Content-Type: text/html\r\n\r\n"
            "Error: No value specified. Use /~cmd/set/[VARNAME]/[VALUE].");
  EXPECT_EQ(target_->getEnv("update.count"), "5");
}

TEST_F(CommandTest, ProcessRunsTheBodyWithTheKeyOnly) {
  EXPECT_EQ(Post("/~cmd/process", "<vq/>"), kKeyRefusal);
  EXPECT_TRUE(target_->documents.empty());
  EXPECT_EQ(Post(Keyed("/~cmd/process"), "<vq version=\"1\"/>"),
            OkHead("text/xml") + kOk);
  EXPECT_EQ(Post(Keyed("/~cmd/process"), "junk"),
            "HTTP/1.1 500 Exception\r\nContent-Type: text/xml\r\n\r\n"
            "<error><![CDATA[bad document]]></error>");
  // Without a body the application gets an empty document, which fails.
  EXPECT_EQ(BodyOf(Post(Keyed("/~cmd/process"), "")),
            "<error><![CDATA[bad document]]></error>");
  EXPECT_EQ(target_->documents,
            (std::vector<std::string>{"<vq version=\"1\"/>", "junk", ""}));
}

TEST_F(CommandTest, LaunchExpandsFileAndArguments) {
  EXPECT_EQ(Get("/~cmd/launch?file=x"), kKeyRefusal);
  const std::string file = dir_.path() + "/doc.pdf";
  EXPECT_EQ(Get(Keyed("/~cmd/launch?file=%24%7Bdir.data%7D%2Fdoc.pdf")),
            OkHead("text/xml") + "<vq><![CDATA[OK launched " + file +
                "]]></vq>");
  // Arguments stop at the first missing index; the file goes last.
  EXPECT_EQ(Get(Keyed("/~cmd/launch?arg1=%24%7Bapp.name%7D&arg2=b&arg4=d")),
            OkHead("text/xml") + "<vq><![CDATA[OK launched ]]></vq>");
  EXPECT_EQ(Get(Keyed("/~cmd/launch")),
            OkHead("text/xml") +
                "<vq><![CDATA[ERROR - NO LAUNCH FILE GIVEN]]></vq>");
  EXPECT_EQ(target_->launches,
            (std::vector<std::vector<std::string>>{
                {"", file}, {"", "Demo", "b", ""}}));
}

TEST_F(CommandTest, MatchingOrderAndFileServing) {
  // launchswfx is a launch (which wants the key), not launchswf.
  EXPECT_EQ(Get("/~cmd/launchswfx"), kKeyRefusal);
  for (const char* uri : {"/~cmd/infox", "/~cmd/", "/~cmd/wakeup"}) {
    EXPECT_EQ(Get(uri),
              "HTTP/1.1 404 OK\r\nContent-Type: text/plain\r\n\r\n"
              "The command is unknown.")
        << uri;
  }
  EXPECT_EQ(Get("/~cmd//wake"), OkHead("text/xml") + "<result wake=\"ok\" />");
  EXPECT_EQ(target_->swfLaunches + target_->wakes, 1);

  vq_testing::WriteFile(dir_.Append("hello.txt"), "hello there");
  const std::string answer = Get("/hello.txt");
  EXPECT_EQ(answer.compare(0, 15, "HTTP/1.1 200 OK"), 0) << answer;
  EXPECT_EQ(BodyOf(answer), "hello there");
  EXPECT_EQ(Get("/missing.txt").compare(0, 12, "HTTP/1.1 404"), 0);
}

TEST_F(CommandTest, ConcurrentSetsAreAllAnswered) {
  std::vector<std::thread> clients;
  std::atomic<int> good{0};
  for (int i = 0; i < 8; ++i) {
    clients.emplace_back([&, i] {
      for (int j = 0; j < 10; ++j) {
        const std::string pair = "v" + std::to_string(i) + "/" + std::to_string(j);
        std::string expected = pair;
        expected[expected.find('/')] = '=';
        good += Get(Keyed("/~cmd/set/" + pair)) == OkHead("text/plain") + expected;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(good, 80);
}

using CommandDeathTest = ServerTest;

TEST_F(CommandDeathTest, CrashEndsTheProcessAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Get("/~cmd/crash");
        std::_Exit(0);  // reached only when the server did not end us
      },
      ::testing::KilledBySignal(SIGKILL), "");
}

}  // namespace
}  // namespace cmdserver_testing
