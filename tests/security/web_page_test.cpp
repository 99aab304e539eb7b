// Plain files only, and web pages cannot drive the agent: no CGI, no SSI, no
// listings, no writing methods, no CORS, no links out of the data directory,
// and every request a browser marks as cross-site is refused.

#include <civetweb.h>
#include <unistd.h>

#include <cctype>

#include "security/security_fixture.h"
#include "testing/file_util.h"

namespace security_testing {
namespace {

using PlainFilesTest = SecurityTest;
using CrossSiteTest = SecurityTest;

TEST_F(PlainFilesTest, CgiScriptsAndSsiPagesAreNeverRun) {
  // The installed library runs CGI unless told not to; without this the
  // test below would prove nothing.
  ASSERT_NE(mg_check_feature(MG_FEATURES_CGI), 0u);
  const std::string marker = dir_.Append("cgi-ran");
  vq_testing::WriteFile(dir_.Append("run.cgi"),
                        "#!/bin/sh\ntouch '" + marker +
                            "'\nprintf 'Content-Type: text/plain\\r\\n\\r\\n'\n"
                            "echo CGI-OUTPUT-$((6 * 7))\n");
  vq_testing::SetFileMode(dir_.Append("run.cgi"), 0700);
  vq_testing::WriteFile(dir_.Append("page.shtml"),
                        "<!--#include file=\"vq.server.key\" -->"
                        "<!--#include virtual=\"vq.server.key\" -->"
                        "<!--#exec \"touch " + marker + "\" -->");
  for (const char* path : {"/run.cgi", "/run.cgi/extra", "/page.shtml"}) {
    for (const char* method : {"GET", "POST"}) {
      const std::string answer = Send(method, path);
      EXPECT_EQ(answer.find("CGI-OUTPUT-42"), std::string::npos) << path;
      EXPECT_EQ(answer.find(server_->key()), std::string::npos) << path;
    }
  }
  EXPECT_FALSE(vq_testing::PathExists(marker));
}

TEST_F(PlainFilesTest, NoListingsNoCorsNoWritingAndNoLinksOut) {
  vq_testing::WriteFile(dir_.Append("public.txt"), "PUBLIC");
  vq_testing::WriteFile(dir_.Append("sub/listed-name.txt"), "x");
  vq_testing::ScopedTempDir outside;
  vq_testing::WriteFile(outside.Append("victim.txt"), "OUTSIDE");
  ASSERT_EQ(symlink(outside.Append("victim.txt").c_str(), dir_.Append("out.txt").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), dir_.Append("outdir").c_str()), 0);

  for (const char* path : {"/", "/sub", "/sub/", "//sub//", "/outdir/"}) {
    const std::string answer = Send("GET", path);
    EXPECT_NE(StatusOf(answer), 200) << path;
    EXPECT_EQ(answer.find("listed-name"), std::string::npos) << path;
    EXPECT_EQ(answer.find("victim"), std::string::npos) << path;
  }
  for (const char* path : {"/out.txt", "/outdir/victim.txt", "/sub/../out.txt"}) {
    const std::string answer = Send("GET", path);
    EXPECT_TRUE(StatusOf(answer) == 403 || StatusOf(answer) == 404) << path;
    EXPECT_EQ(answer.find("OUTSIDE"), std::string::npos) << path;
  }

  const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(port_);
  for (const Headers& headers :
       {Headers{origin}, Headers{origin, "Access-Control-Request-Method: PUT"}}) {
    for (const char* method : {"GET", "OPTIONS"}) {
      const std::string answer = Send(method, "/public.txt", headers);
      std::string head = answer.substr(0, answer.find("\r\n\r\n"));
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_EQ(head.find("\r\naccess-control-"), std::string::npos) << answer;
    }
  }

  for (const auto& [method, path] : std::vector<std::pair<const char*, const char*>>{
           {"PUT", "/put.txt"}, {"DELETE", "/public.txt"}, {"MKCOL", "/made"}, {"PROPFIND", "/"},
           {"POST", "/public.txt"}, {"PATCH", "/public.txt"}, {"MOVE", "/public.txt"},
           {"OPTIONS", "/public.txt"}}) {
    const std::string answer = Send(method, path, {}, "CREATED");
    const int status = StatusOf(answer);
    EXPECT_TRUE(status >= 400 && status < 500) << method << ":\n" << answer;
    EXPECT_EQ(answer.find("PUBLIC"), std::string::npos) << method;
  }
  EXPECT_FALSE(vq_testing::PathExists(dir_.Append("put.txt")));
  EXPECT_FALSE(vq_testing::PathExists(dir_.Append("made")));
  EXPECT_EQ(vq_testing::ReadFile(dir_.Append("public.txt")), "PUBLIC");
}

TEST_F(CrossSiteTest, BrowserMarkedCrossSiteRequestsAreRefusedAndHaveNoEffect) {
  vq_testing::WriteFile(dir_.Append("public.txt"), "PUBLIC");
  const std::string port = std::to_string(port_);
  const std::vector<Headers> refused = {
      {"Sec-Fetch-Site: cross-site"}, {"Sec-Fetch-Site: same-site"}, {"Sec-Fetch-Site: CROSS-SITE"},
      {"Origin: http://evil.example"}, {"Origin: null"},
      {"Origin: http://127.0.0.1:" + std::to_string(port_ + 1)},
      {"Origin: https://127.0.0.1:" + port}, {"Origin: http://127.0.0.1"},
      {"Origin: http://127.0.0.1:" + port + ".evil.example"},
      {"Sec-Fetch-Site: same-origin", "Origin: http://evil.example"},
      {"Sec-Fetch-Site: cross-site", "Origin: http://127.0.0.1:" + port},
  };
  const std::vector<Request> targets = {
      {"GET", "/~cmd/wake", ""}, {"GET", "/~cmd/quit", ""}, {"GET", "/~cmd/launchswf", ""},
      {"GET", "/~cmd/setstart", ""}, {"GET", "/~cmd/info", ""},
      {"GET", Keyed("/~cmd/set/hijacked/yes"), ""}, {"POST", Keyed("/~cmd/process"), "<vq></vq>"},
      {"GET", Keyed("/~cmd/launch?file=x"), ""}, {"GET", "/public.txt", ""},
      {"HEAD", "/public.txt", ""},
  };
  for (const Headers& headers : refused) {
    for (const Request& t : targets) {
      const std::string answer = Send(t.method, t.target, headers, t.body);
      EXPECT_EQ(StatusOf(answer), 403) << headers[0] << " " << t.target;
      EXPECT_EQ(answer.find("PUBLIC"), std::string::npos);
      EXPECT_EQ(answer.find("Application Environment"), std::string::npos);
    }
  }
  EXPECT_TRUE(target_.calls.empty());
  EXPECT_EQ(target_.getEnv("hijacked"), "");

  // Local programs send neither header; a browser's own page on this server
  // and a typed address are allowed too.
  const std::vector<Headers> allowed = {
      {}, {"Sec-Fetch-Site: same-origin"}, {"Sec-Fetch-Site: none"},
      {"Origin: http://127.0.0.1:" + port}, {"Origin: http://localhost:" + port},
      {"Sec-Fetch-Site: same-origin", "Origin: http://localhost:" + port},
  };
  for (const Headers& headers : allowed) {
    EXPECT_EQ(StatusOf(Send("GET", "/~cmd/wake", headers)), 200);
    EXPECT_EQ(BodyOf(Send("GET", "/public.txt", headers)), "PUBLIC");
  }
  EXPECT_EQ(BodyOf(Send("GET", Keyed("/~cmd/set/allowed/yes"), {"Sec-Fetch-Site: none"})),
            "allowed=yes");
  EXPECT_EQ(target_.calls.size(), allowed.size());
}

}  // namespace
}  // namespace security_testing
