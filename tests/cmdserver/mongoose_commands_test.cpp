// Every command's reply, byte for byte, over real HTTP; start and stop.

#include <csignal>

#include "cmdserver/server_fixture.h"

namespace cmdserver_testing {
namespace {

const char kKeyRefusal[] =
    "HTTP/1.1 403 OK\r\nContent-Type: text/plain\r\n\r\n"
    "Access to this method requires a key parameter containing the contents "
    "of vq.server.key";
const char kOk[] = "<vq><![CDATA[OK]]></vq>";

using CommandTest = ServerTest;

// The pages' runnable command examples (tests/docs) check the replies of
// version, path, launchswfx, unknown commands, files and a missing key or
// value against the real agent; these check what reaches the application.
TEST_F(CommandTest, KeylessCommandsReachTheApplication) {
  const std::pair<const char*, std::string> cases[] = {
      {"/~cmd//wake", OkHead("text/xml") + "<result wake=\"ok\" />"},
      {"/~cmd/setstart", OkHead("text/xml") + kOk},
      {"/~cmd/launchswf", OkHead("text/xml") + kOk},
      // infox is not info.
      {"/~cmd/infox",
       "HTTP/1.1 404 OK\r\nContent-Type: text/plain\r\n\r\nThe command is unknown."},
  };
  for (const auto& [target, reply] : cases) EXPECT_EQ(Get(target), reply) << target;
  EXPECT_EQ(target_.calls, (Calls{"wake", "setstart", "launchswf"}));
}

TEST_F(CommandTest, InfoReadsAndListsVariables) {
  const std::string port = std::to_string(port_);
  auto row = [](const std::string& name, const std::string& value) {
    return "<tr><td><b><a href=\"info/" + name + "\">" + name +
           "</b></td><td>" + value + "</td></tr>";
  };
  EXPECT_EQ(Get("/~cmd/info"),
            OkHead("text/html") + "<html><body><h1>Application Environment</h1><table>" +
                row("app.name", "Demo") + row("dir.data", dir_.path()) +
                row("mongoose.host", "127.0.0.1:" + port) + row("mongoose.port", port) +
                "</td></tr></table></body></html>");
}

TEST_F(CommandTest, KeyedCommandsSetProcessAndLaunch) {
  for (const std::string query : {"", "?KEY=x"}) {
    EXPECT_EQ(Get("/~cmd/set/a/1" + query), kKeyRefusal) << query;
  }
  EXPECT_EQ(target_.getEnv("a"), "");

  EXPECT_EQ(Get(Keyed("/~cmd/set/a/5")), OkHead("text/plain") + "a=5");
  // The value runs to the end of the path, slashes and escapes included.
  EXPECT_EQ(Get(Keyed("/~cmd/set/swf.app/a/b%20c.app")),
            OkHead("text/plain") + "swf.app=a/b c.app");
  EXPECT_EQ(target_.getEnv("a"), "5");

  EXPECT_EQ(Send("POST", Keyed("/~cmd/process"), {}, "<vq/>"), OkHead("text/xml") + kOk);

  const std::string file = dir_.path() + "/doc.pdf";
  EXPECT_EQ(Get(Keyed("/~cmd/launch?file=%24%7Bdir.data%7D%2Fdoc.pdf")),
            OkHead("text/xml") + "<vq><![CDATA[OK launched " + file + "]]></vq>");
  // Arguments stop at the first missing index; the file goes last.
  EXPECT_EQ(Get(Keyed("/~cmd/launch?arg1=%24%7Bapp.name%7D&arg2=b&arg4=d")),
            OkHead("text/xml") + "<vq><![CDATA[OK launched ]]></vq>");
  EXPECT_EQ(target_.calls,
            (Calls{"process <vq/>", "launch |" + file, "launch |Demo|b|"}));
}

using CommandDeathTest = ServerTest;

TEST_F(CommandDeathTest, CrashEndsTheProcessAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // _Exit(0) is reached only when the server did not end the process.
  EXPECT_EXIT((Get("/~cmd/crash"), std::_Exit(0)),
              ::testing::KilledBySignal(SIGKILL), "");
}

TEST_F(CommandTest, PublishesFilesOwnerOnlyAndReplacesThemOnRestart) {
  // A second server takes the next free port and its own directory.
  vq_testing::ScopedTempDir otherDir;
  FakeCommandTarget other(otherDir.path());
  Mongoose second(*pool_, &other, port_);
  EXPECT_GT(second.port(), port_);
  // HTTP/1.0 clients may leave the Host header out.
  EXPECT_EQ(LoopbackExchange(second.port(), "GET /~cmd/info/dir.data HTTP/1.0\r\n\r\n"),
            OkHead("text/plain") + otherDir.path());

  const std::string firstKey = server_->key();
  server_.reset();
  EXPECT_EQ(Get("/~cmd/wake"), "");  // nobody listens any more
  // Longer files a crash left behind are replaced, not overwritten in part.
  for (const char* name : {"vq.server", "vq.server.key"}) {
    EXPECT_FALSE(vq_testing::PathExists(dir_.Append(name))) << name;
    vq_testing::WriteFile(dir_.Append(name), std::string(40, 's'));
    vq_testing::SetFileMode(dir_.Append(name), 0644);
  }
  server_ = std::make_unique<Mongoose>(*pool_, &target_);
  EXPECT_NE(server_->key(), firstKey);
  EXPECT_EQ(vq_testing::ReadFile(dir_.Append("vq.server")),
            "127.0.0.1:" + std::to_string(server_->port()));
  EXPECT_EQ(vq_testing::ReadFile(dir_.Append("vq.server.key")), server_->key());
  for (const char* name : {"vq.server", "vq.server.key"}) {
    EXPECT_EQ(vq_testing::FileMode(dir_.Append(name)), 0600) << name;
  }
}

TEST_F(CommandTest, NoFreePortFailsWithoutWritingFiles) {
  server_.reset();
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = Loopback(65535);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    try {
      Mongoose server(*pool_, &target_, 65535);
      ADD_FAILURE() << "started on a taken port";
    } catch (const std::string& text) {
      EXPECT_EQ(text, "Failed to find a port to bind to for webserver");
    }
    EXPECT_FALSE(vq_testing::PathExists(dir_.Append("vq.server")));
    EXPECT_FALSE(vq_testing::PathExists(dir_.Append("vq.server.key")));
  }
  close(fd);
}

}  // namespace
}  // namespace cmdserver_testing
