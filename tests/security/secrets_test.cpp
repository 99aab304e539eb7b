// Secrets stay inside: the access key never reaches a log line or the log
// tail an error report carries, and the agent's private files are never
// served, whatever the spelling of the request.

#include <unistd.h>

#include "cmdserver/request_guard.h"
#include "engine/log_tail.h"
#include "security/security_fixture.h"
#include "testing/file_util.h"

namespace security_testing {
namespace {

using SecretsTest = SecurityTest;

TEST_F(SecretsTest, KeyReachesNeitherTheLogNorTheReportTail) {
  const std::string key = server_->key();
  vq_testing::WriteFile(dir_.Append("public.txt"), "PUBLIC");
  const std::vector<Request> cases = {
      {"GET", Keyed("/~cmd/set/colour/blue"), ""},
      {"GET", Keyed("/~cmd/launch?file=doc.pdf&arg1=x"), ""}, {"GET", Keyed("/~cmd/launch"), ""},
      {"POST", Keyed("/~cmd/process"), "<vq></vq>"},
      {"POST", Keyed("/~cmd/process"), "not a document key=" + key},
      {"POST", "/~cmd/process?key=" + key + "x", "<vq></vq>"},
      {"GET", Keyed("/~cmd/info/colour"), ""}, {"GET", Keyed("/~cmd/wake?forward=" + key), ""},
      {"GET", Keyed("/~cmd/unknown"), ""}, {"GET", Keyed("/public.txt"), ""},
      {"GET", Keyed("/missing.txt"), ""}, {"GET", "/~cmd/path/?path=" + key, ""},
      {"GET", "/~cmd/info/" + key, ""},
  };
  for (const Request& c : cases) {
    EXPECT_NE(StatusOf(Send(c.method, c.target, {}, c.body)), 0) << c.target;
  }
  const std::string log = vq_testing::ReadFile(LogPath());
  ASSERT_NE(log.find("cmd_callback"), std::string::npos) << log;
  EXPECT_EQ(log.find(key), std::string::npos) << log;

  apr::Pool pool;
  const std::string tail = readLogTail(LogPath().c_str(), dir_.Append("vq.log.1").c_str(),
                                       kReportLogTailBytes, pool);
  ASSERT_FALSE(tail.empty());
  EXPECT_EQ(tail.find(key), std::string::npos);
}

TEST_F(SecretsTest, PrivateFilesAreNeverServedUnderAnySpelling) {
  log4cpp::Category::getRoot().info("SECRET in the log");
  for (const char* secret : {"vq.log.1", ".transaction.dat", ".transaction.dat.tmp", ".hidden",
                             "sub/.inner"}) {
    vq_testing::WriteFile(dir_.Append(secret), std::string("SECRET ") + secret);
  }
  vq_testing::WriteFile(dir_.Append("public.txt"), "PUBLIC");
  ASSERT_EQ(symlink("vq.log", dir_.Append("alias.txt").c_str()), 0);
  ASSERT_EQ(symlink(".transaction.dat", dir_.Append("journal.txt").c_str()), 0);
  ASSERT_EQ(link(dir_.Append("vq.log.1").c_str(), dir_.Append("hard.txt").c_str()), 0);
  ASSERT_EQ(symlink(".", dir_.Append("self").c_str()), 0);
  ASSERT_EQ(symlink("vq.server.key", dir_.Append("key.txt").c_str()), 0);

  for (const std::string path :
       {"/vq.log", "/VQ.LOG", "/Vq.Log.1", "/vq%2elog", "/vq%2Elog%2E1",
        "/./vq.log", "//vq.log", "/vq.log/", "/vq.log//", "/sub/../vq.log",
        "/sub/%2e%2e/vq.log", "/vq.log.1", "/vq.log?x=1", "/.transaction.dat",
        "/%2Etransaction.dat", "/.transaction.dat.tmp", "/.TRANSACTION.DAT",
        "/.hidden", "/sub/.inner", "/alias.txt", "/journal.txt", "/hard.txt",
        "/self/vq.log", "/self/.hidden", "/self/self/alias.txt",
        "/vq.server.key", "/VQ.SERVER.KEY", "/vq%2Eserver%2Ekey", "/./vq.server.key",
        "/sub/%2E%2E/vq.server.key", "/vq.server.key/", "/vq.server.key?x=1", "/key.txt",
        "/sub/../key.txt"}) {
    for (const char* method : {"GET", "HEAD"}) {
      const std::string answer = Send(method, path);
      const int status = StatusOf(answer);
      EXPECT_TRUE(status == 403 || status == 404) << method << " " << path << ":\n" << answer;
      EXPECT_EQ(answer.find("SECRET"), std::string::npos) << path;
      EXPECT_EQ(answer.find(server_->key()), std::string::npos) << path;
    }
  }
  // Ordinary files are still served, through a link in the data directory too, and by HEAD.
  EXPECT_EQ(BodyOf(Send("GET", "/self/public.txt")), "PUBLIC");
  const std::string head = Send("HEAD", "/public.txt");
  EXPECT_EQ(StatusOf(head), 200);
  EXPECT_EQ(BodyOf(head), "");
  EXPECT_TRUE(cmdserver::namesKeyFile("/vq.server.key/inner"));
  EXPECT_FALSE(cmdserver::namesKeyFile("/vq.server.key.bak"));
}

}  // namespace
}  // namespace security_testing
