// One signed document exercising every action, fetched from and downloading
// from a loopback server, checked on disk afterwards.

#include <gtest/gtest.h>

#include <string>

#include "app/vq_application.h"
#include "response/vq_response_processor.h"
#include "response_test_support.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "vqsign/rsa_signer.h"
#include "web/apple_web.h"

namespace vq_response_test {
namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

class WholeDocumentTest : public ResponseTest {};

TEST_F(WholeDocumentTest, EveryActionReachesTheDisk) {
  vq_testing::TestHttpServer server;
  const std::string payload(100000, 'p');
  server.ExpectOnce("GET", "/payload.bin", {200, {}, payload});

  WriteFile(DataPath("settings.xml"),
            "<settings><server url='a'/><server url='b'/><old/></settings>");
  WriteFile(DataPath("obsolete.txt"), "gone soon");
  WriteFile(DataPath("current.bin"), "current");
  VqApplication::setEnv("host", server.url("").c_str());

  const std::string document =
      "<vq version='2.0' update='120'>"
      "<transaction>"
      "<write filename='${dir.data}/notes/readme.txt' perm='rw-r-----'>"
      "<![CDATA[line 1\nline 2]]></write>"
      "<web url='${host}/payload.bin' filename='bin/payload.bin' md5='" +
      Md5Hex(payload) + "'/>"
      "<web url='${host}/never' filename='current.bin' md5='" +
      Md5Hex("current") + "'/>"
      "<delete filename='obsolete.txt'/>"
      "<set name='feature' value='on'/>"
      "<xmledit filename='settings.xml'>"
      "<setAttribute rpn=\"/settings/server[@url 'b' =]\" name='url' "
      "value='c'/><delete rpn='/settings/old'/>"
      "<append rpn='/settings'><new>n</new></append></xmledit>"
      "<launch><if filename='settings.xml' rpn='/settings/old'/>"
      "<command>${dir.data}/app</command><arg>--from-update</arg></launch>"
      "<upgrade/><crash/>"
      "</transaction>"
      "<transaction><error description='reported' code='300'/></transaction>"
      "<transaction noerrors='true'><quit/></transaction>"
      "<transaction><quit/></transaction>"
      "</vq>";
  std::string error;
  auto signer = vqtools::RsaSigner::fromPemFile(VQ_TEST_PRIVATE_KEY, &error);
  ASSERT_TRUE(signer) << error;
  server.ExpectOnce("POST", "/vq.php",
                    {200, {{"XXX-VQ-Sig", signer->signBase64(document)}},
                     document});

  AppleWeb request(pool_);
  request.setUrl(server.url("/vq.php").c_str());
  request.addParameter("feedId", "1");
  ASSERT_TRUE(request.get());
  VqResponseProcessor processor(pool_, &external_, server.url("/vq.php").c_str());
  processor.process(request, &reporter_, true);

  EXPECT_EQ(120, processor.updateSeconds());
  EXPECT_EQ("line 1\nline 2", ReadFile(DataPath("notes/readme.txt")));
  EXPECT_EQ(0640, FileMode(DataPath("notes/readme.txt")));
  EXPECT_EQ(payload, ReadFile(DataPath("bin/payload.bin")));
  EXPECT_EQ(0600, FileMode(DataPath("bin/payload.bin")));
  EXPECT_EQ("current", ReadFile(DataPath("current.bin")));
  EXPECT_FALSE(PathExists(DataPath("obsolete.txt")));
  EXPECT_EQ("on", VqApplication::getEnv("feature"));
  EXPECT_EQ("<settings><server url=\"a\" /><server url=\"c\" />"
            "<new>n</new></settings>",
            ReadFile(DataPath("settings.xml")));
  // The if-test saw the file before the edit removed "old".
  ASSERT_EQ(1u, external_.launches.size());
  EXPECT_EQ(dir_.path() + "/app", external_.launches[0].command);
  ASSERT_EQ(1u, reporter_.reports.size());
  EXPECT_EQ(300, static_cast<int>(reporter_.reports[0].getErrorCode()));
  EXPECT_EQ(server.url("/vq.php"), reporter_.reports[0].url());
  EXPECT_TRUE(external_.quit);
  // No temporary, backup or journal file is left.
  EXPECT_EQ((std::vector<std::string>{"bin", "bin/payload.bin", "current.bin",
                                      "notes", "notes/readme.txt",
                                      "settings.xml"}),
            DataEntries());
}

}  // namespace
}  // namespace vq_response_test
