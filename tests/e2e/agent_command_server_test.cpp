// The command server as the running agent serves it.

#include "e2e/agent_fixture.h"
#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace e2e {
namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WaitFor;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class AgentCommandServerTest : public AgentTest {
 protected:
  void SetUp() override {
    StartServer({"<vq version=\"2.0\" update=\"600\"/>"});
    StartAgent();
    ASSERT_TRUE(WaitForLog("timediff :"));
    ASSERT_TRUE(WaitFor([&] {
      return PathExists(DataPath("vq.server.key")) && !ServerKey().empty();
    }));
    key_ = ServerKey();
    // The first run's own launch, recorded by a detached process.
    ASSERT_TRUE(WaitFor([&] { return Launches().size() == 1; }));
  }
  std::string key_;
};

TEST_F(AgentCommandServerTest, ReadsAndSetsVariablesWithTheKey) {
  EXPECT_TRUE(Has(Http("GET", "/~cmd/version"), "<vqApplication feedId=\"363\""));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/info/app.name"), "\r\n\r\nQuillmere"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/info/app.title"),
                  "\r\n\r\nQuillmere (demo)"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/set/e2e.x/5"), "403"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/set/e2e.x/5?key=" + key_), "e2e.x=5"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/info"), "e2e.x"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/wake"), "<result wake=\"ok\" />"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/infox"), "404"));
}

TEST_F(AgentCommandServerTest, RunsSubmittedDocuments) {
  const std::string document =
      "<vq><transaction><write filename=\"posted.txt\">"
      "<![CDATA[posted]]></write></transaction></vq>";
  EXPECT_TRUE(Has(Http("POST", "/~cmd/process", document), "403"));
  EXPECT_FALSE(PathExists(DataPath("posted.txt")));
  EXPECT_TRUE(Has(Http("POST", "/~cmd/process?key=" + key_, document),
                  "<vq><![CDATA[OK]]></vq>"));
  EXPECT_EQ("posted", ReadFile(DataPath("posted.txt")));
  const std::string refused =
      Http("POST", "/~cmd/process?key=" + key_, "<other/>");
  EXPECT_TRUE(Has(refused, "500")) << refused;
  EXPECT_TRUE(Has(refused, "Submitted XML is not a vq root node.")) << refused;
  EXPECT_TRUE(Has(Http("POST", "/~cmd/process?key=" + key_, "<vq"),
                  "XML parsing of XML failed"));
}

TEST_F(AgentCommandServerTest, ProtectsTheKeyAndRefusesForeignHosts) {
  EXPECT_TRUE(Has(Http("GET", "/vq.server.key"), "403"));
  EXPECT_TRUE(Has(Http("GET", "/%76q.server.key"), "403"));
  EXPECT_TRUE(Has(Http("GET", "/x/../vq.server.key"), "403"));
  EXPECT_FALSE(Has(Http("GET", "/vq.server.key"), key_));
  EXPECT_TRUE(Has(Http("GET", "/settings.xml"), "<channel"));
  EXPECT_TRUE(Has(Http("GET", "/~cmd/info/app.name", "", "evil.example"),
                  "403"));
}

TEST_F(AgentCommandServerTest, LaunchesTheDeliveredApplication) {
  const size_t before = Launches().size();
  EXPECT_TRUE(Has(Http("GET", "/~cmd/launchswf"), "<vq><![CDATA[OK]]></vq>"));
  ASSERT_TRUE(WaitFor([&] { return Launches().size() == before + 1; }));
  EXPECT_EQ(CommandServer(), Launches().back());
  EXPECT_TRUE(Has(Http("GET", "/~cmd/launch?key=" + key_),
                  "ERROR - NO LAUNCH FILE GIVEN"));
}

}  // namespace
}  // namespace e2e
