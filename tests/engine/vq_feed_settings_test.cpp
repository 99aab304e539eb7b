#include "engine/vq_feed_settings.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

#include "app/vq_application.h"
#include "engine/engine_fixtures.h"
#include "support/apr_pool.h"
#include "support/http_query_string.h"
#include "testing/file_util.h"

namespace engine_testing {
namespace {

class FeedSettingsTest : public EngineTest {
 protected:
  // Runs prepareRequest; keeps the encoded body and parses "vq" back as the
  // server would.
  const TiXmlElement* Prepare() {
    apr::Pool pool;
    UnsentWeb web(pool);
    VqFeedSettings(pool).prepareRequest(web);
    body_ = web.body();
    params_ = http::QueryString(body_.c_str()).parameters();
    sent_.Clear();
    sent_.Parse(params_["vq"].c_str());
    EXPECT_FALSE(sent_.Error()) << params_["vq"];
    return sent_.RootElement();
  }
  static std::string TextOf(const TiXmlElement* element) {
    std::string text;
    for (const TiXmlNode* n = element->FirstChild(); n; n = n->NextSibling()) {
      if (n->ToText() != nullptr) text += n->Value();
    }
    return text;
  }

  std::string body_;
  http::QueryString::Map params_;
  TiXmlDocument sent_;
};

TEST_F(FeedSettingsTest, ErrorDocumentsNameTheFault) {
  const TiXmlElement* root = Prepare();
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->Attribute("code"), "NO_VQFEED_FILE");
  EXPECT_STRNE(root->Attribute("description"), "");
  EXPECT_EQ(root->FirstChild(), nullptr);
  EXPECT_LT(params_["vq"].find("description="), params_["vq"].find("code="));

  std::string deep = "<vqfeed version=\"2.0\">";
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  const std::pair<std::string, const char*> cases[] = {
      {"just a line of text", "BAD_VQFEED_FILE"},
      {deep, "BAD_VQFEED_FILE"},  // refused before the recursive parser
      {"<feed version=\"2.0\"/>", "INCORRECT_XML"},
      {"<vqfeed version=\"1.0\"/>", "INCORRECT_VERSION"},
      {"<vqfeed/>", "INCORRECT_VERSION"},
  };
  for (const auto& [contents, code] : cases) {
    SCOPED_TRACE(code);
    WriteDataFile("vqfeed.xml", contents);
    root = Prepare();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Value(), "error");
    EXPECT_STREQ(root->Attribute("code"), code);
    EXPECT_EQ(TextOf(root), contents);
    EXPECT_TRUE(root->FirstChild()->ToText()->CDATA());
  }
}

TEST_F(FeedSettingsTest, IncludesAreMarkedAndAttachedDepthFirst) {
  WriteDataFile("a.txt", "alpha");
  WriteDataFile("sub/b.txt", "beta");
  WriteDataFile("c.txt", std::string("head\0tail", 9));
  vq_testing::MakeDirs(DataPath("folder"));
  WriteDataFile("vqfeed.xml",
                "<VQFEED version=\"2.0\" appName=\"Demo\">"
                "<g><include file=\"a.txt\"/>"
                "<d><INCLUDE file=\"${dir.data}/sub/b.txt\"/></d></g>"
                "<include file=\"folder\"/><include file=\"missing.txt\"/>"
                "<include/><include file=\"c.txt\"/>"
                "<include file=\"c.txt\" inline=\"TRUE\"/>"
                "<include file=\"c.txt\"/>"
                "<x><include file=\"c.txt\" inline=\"true\"/></x></VQFEED>");
  const TiXmlElement* root = Prepare();
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->Attribute("appName"), "Demo");
  // Parameters in document order, depth first, before "vq"; NUL bytes kept.
  EXPECT_LT(body_.find("p1="), body_.find("p2="));
  EXPECT_LT(body_.find("p3="), body_.find("vq="));
  EXPECT_EQ(params_["p1"], "alpha");
  EXPECT_EQ(params_["p2"], "beta");
  EXPECT_EQ(params_["p3"], std::string("head\0tail", 9));
  EXPECT_EQ(params_.size(), 4u);

  const TiXmlElement* g = root->FirstChildElement("g");
  EXPECT_STREQ(g->FirstChildElement("include")->Attribute("param"), "p1");
  const TiXmlElement* b = g->FirstChildElement("d")->FirstChildElement();
  EXPECT_STREQ(b->Attribute("param"), "p2");
  EXPECT_STREQ(b->Attribute("file"), "${dir.data}/sub/b.txt");

  const TiXmlElement* e = root->FirstChildElement("include");
  EXPECT_STREQ(e->Attribute("exists"), "directory");
  EXPECT_EQ(e->Attribute("param"), nullptr);
  e = e->NextSiblingElement();
  EXPECT_STREQ(e->Attribute("exists"), "false");
  e = e->NextSiblingElement();
  EXPECT_STREQ(e->Attribute("exists"), "false");  // no "file" at all
  e = e->NextSiblingElement();
  EXPECT_STREQ(e->Attribute("param"), "p3");
  // The repeats of c.txt among these siblings were removed, inline or not.
  EXPECT_STREQ(e->NextSiblingElement()->Value(), "x");
  const TiXmlElement* inlined = root->FirstChildElement("x")->FirstChildElement();
  EXPECT_STREQ(inlined->Attribute("exists"), "true");
  EXPECT_EQ(inlined->Attribute("param"), nullptr);
  EXPECT_EQ(TextOf(inlined), "head");  // up to the NUL
  EXPECT_EQ(log().count("file attribute of include node is NULL", "ERROR"), 1);
  EXPECT_EQ(log().count("already included. Removed child node.", "INFO"), 2);
}

TEST_F(FeedSettingsTest, InlinedTextCannotBreakOutOfItsCdataSection) {
  const std::string hostile = "x]]><injected/><![CDATA[y]]>z";
  WriteDataFile("s.txt", hostile);
  WriteDataFile("vqfeed.xml", "<vqfeed version=\"2.0\">"
                              "<include file=\"s.txt\" inline=\"true\"/></vqfeed>");
  const TiXmlElement* include = Prepare()->FirstChildElement("include");
  EXPECT_EQ(include->FirstChildElement(), nullptr);
  EXPECT_EQ(TextOf(include), hostile);
}

TEST_F(FeedSettingsTest, UserIdComesOnlyFromAUsableVersion2Feed) {
  VqFeedSettings::installUserIdProvider();
  EXPECT_EQ(VqApplication::getEnv(VqApplication::ID_USER), "-1");
  WriteDataFile("vqfeed.xml", "<vqfeed version=\"2.0\"><user id=\"42\"/></vqfeed>");
  EXPECT_EQ(VqFeedSettings::getUserId(), 42);
  EXPECT_EQ(VqApplication::getEnv(VqApplication::ID_USER), "42");
  for (const char* feed : {"<vqfeed version=\"1.0\"><user id=\"4\"/></vqfeed>",
                           "<vqfeed version=\"2.0\"><x><user id=\"5\"/></x></vqfeed>",
                           "<vqfeed version=\"2.0\"><user/></vqfeed>"}) {
    WriteDataFile("vqfeed.xml", feed);
    EXPECT_EQ(VqFeedSettings::getUserId(), -1) << feed;
  }
}

}  // namespace
}  // namespace engine_testing
