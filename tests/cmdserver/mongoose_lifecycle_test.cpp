// Start and stop: the port search, the address and key files, the variables.

#include <apr_network_io.h>

#include "cmdserver/access_key.h"
#include "cmdserver/server_fixture.h"

namespace cmdserver_testing {
namespace {

using LifecycleTest = ServerTest;

TEST_F(LifecycleTest, PublishesAddressAndKeyReadableByOwnerOnly) {
  const std::string host = "127.0.0.1:" + std::to_string(port_);
  EXPECT_GE(port_, 8080);
  EXPECT_EQ(vq_testing::ReadFile(dir_.Append("vq.server")), host);
  const std::string key = vq_testing::ReadFile(dir_.Append("vq.server.key"));
  EXPECT_EQ(key, server_->key());
  EXPECT_EQ(key.size(), 25u);
  for (const char* name : {"vq.server", "vq.server.key"}) {
    EXPECT_EQ(vq_testing::FileMode(dir_.Append(name)) & 0777, 0600) << name;
  }
  EXPECT_EQ(target_->getEnv("mongoose.host"), host);
  EXPECT_EQ(target_->getEnv("mongoose.port"), std::to_string(port_));
}

TEST_F(LifecycleTest, StopRemovesFilesAndRestartReplacesThem) {
  const std::string firstKey = server_->key();
  server_.reset();
  EXPECT_FALSE(vq_testing::PathExists(dir_.Append("vq.server")));
  EXPECT_FALSE(vq_testing::PathExists(dir_.Append("vq.server.key")));
  EXPECT_EQ(Get("/~cmd/wake"), "");  // nobody listens any more

  // Longer files a crash left behind are replaced, not overwritten in part.
  vq_testing::WriteFile(dir_.Append("vq.server"), std::string(40, 's'));
  vq_testing::WriteFile(dir_.Append("vq.server.key"), std::string(40, 's'));
  server_ = std::make_unique<Mongoose>(*pool_, target_.get());
  EXPECT_NE(server_->key(), firstKey);
  EXPECT_EQ(vq_testing::ReadFile(dir_.Append("vq.server")),
            "127.0.0.1:" + std::to_string(server_->port()));
  EXPECT_EQ(vq_testing::ReadFile(dir_.Append("vq.server.key")), server_->key());
}

TEST_F(LifecycleTest, SecondServerTakesANextFreePort) {
  vq_testing::ScopedTempDir otherDir;
  FakeCommandTarget other(otherDir.path());
  Mongoose second(*pool_, &other, port_);
  EXPECT_GT(second.port(), port_);
  EXPECT_EQ(Exchange(second.port(), "GET /~cmd/info/dir.data HTTP/1.0\r\n\r\n"),
            OkHead("text/plain") + otherDir.path());
}

TEST(LifecycleStartTest, NoFreePortFailsWithoutWritingFiles) {
  ASSERT_EQ(apr_initialize(), APR_SUCCESS);
  {
    apr::Pool pool;
    vq_testing::ScopedTempDir dir;
    FakeCommandTarget target(dir.path());
    apr_socket_t* socket = nullptr;
    apr_sockaddr_t* address = nullptr;
    apr_socket_create(&socket, APR_INET, SOCK_STREAM, APR_PROTO_TCP, pool);
    apr_sockaddr_info_get(&address, "127.0.0.1", APR_INET, 65535, 0, pool);
    if (apr_socket_bind(socket, address) == APR_SUCCESS) {
      EXPECT_EQ(Mongoose::findOpenPort(65535, 65535, pool), 0);
      try {
        Mongoose server(pool, &target, 65535);
        ADD_FAILURE() << "started on a taken port";
      } catch (const std::string& text) {
        EXPECT_EQ(text, "Failed to find a port to bind to for webserver");
      }
      EXPECT_FALSE(vq_testing::PathExists(dir.Append("vq.server")));
      EXPECT_FALSE(vq_testing::PathExists(dir.Append("vq.server.key")));
    }
    apr_socket_close(socket);
  }
  apr_terminate();
}

}  // namespace
}  // namespace cmdserver_testing
