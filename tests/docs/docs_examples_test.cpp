// Every runnable example of the pages in docs/ is run against the program it
// describes: answer documents through vqserve and the real agent, path
// expressions through the path evaluator, commands against the real command
// server. A page can then never describe what the program does not do.

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string_view>

#include "docs/agent_harness.h"
#include "docs/doc_examples.h"
#include "rpn/rpn_path.h"

namespace {

using vq_docs::AgentHarness;
using vq_docs::Lines;
using vq_testing::PathExists;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;

vq_docs::Examples LoadExamples() {
  return vq_docs::GroupExamples(vq_docs::ReadFencedBlocks(VQ_DOCS_DIR));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// The placeholders a page may use for what differs between runs.
std::string Fill(const AgentHarness& agent, std::string text) {
  text = ReplaceAll(text, "{key}", agent.Key());
  text = ReplaceAll(text, "{host}", agent.CommandServerAddress());
  text = ReplaceAll(text, "{server-without-sig2}",
                    agent.ServerUrl(AgentHarness::kWithoutSecondSignature));
  const std::string data = agent.DataPath();
  return ReplaceAll(text, "{data}", data.substr(0, data.size() - 1));  // no trailing "/"
}

// "\n", "\t" and "\\" in a result text.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : '\0';
    out += c == '\0' ? text[i] : c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return out;
}

// True when `actual` is `pattern`, where each "{any}" of the pattern stands
// for any text.
bool Matches(std::string_view pattern, std::string_view actual) {
  const size_t any = pattern.find("{any}");
  if (any == std::string_view::npos) return pattern == actual;
  if (actual.substr(0, any) != pattern.substr(0, any)) return false;
  for (size_t at = any; at <= actual.size(); ++at)
    if (Matches(pattern.substr(any + 5), actual.substr(at))) return true;
  return false;
}

// ---- Path language ----

std::string Describe(const std::string& xml, const std::string& expression) {
  TiXmlDocument document;
  document.Parse(xml.c_str());
  if (document.Error()) return std::string("bad document: ") + document.ErrorDesc();
  try {
    std::vector<TiXmlNode*> selected;
    RpnPath(expression.c_str()).filter(&document, selected);
    std::string out = selected.empty() ? "nothing\n" : "";
    for (TiXmlNode* node : selected) {
      TiXmlPrinter printer;
      printer.SetStreamPrinting();
      node->Accept(&printer);
      out += printer.Str() + "\n";
    }
    return out;
  } catch (const std::string& message) {
    return "error: " + message + "\n";
  }
}

TEST(DocsExamples, PathExpressionsSelectWhatThePagesSay) {
  const std::vector<vq_docs::PathExample> examples = LoadExamples().paths;
  EXPECT_GE(examples.size(), 3u);
  int run = 0;
  for (const vq_docs::PathExample& example : examples) {
    // Each expression line, then its "=> " result lines.
    std::vector<std::pair<std::string, std::string>> checks;
    for (const std::string& line : Lines(example.paths.text)) {
      if (StartsWith(line, "=> ") && !checks.empty()) {
        checks.back().second += line.substr(3) + "\n";
      } else if (!line.empty()) {
        checks.push_back({line, ""});
      }
    }
    for (const auto& [expression, expected] : checks) {
      ++run;
      EXPECT_EQ(expected, Describe(example.document.text, expression))
          << example.paths.where() << ": " << expression;
    }
  }
  std::cout << "path expressions executed: " << run << std::endl;
  EXPECT_GT(run, 0);
}

// ---- Answer documents ----

using Params = std::vector<std::pair<std::string, std::string>>;

// The string starting at text[*at] (just after its opening quote), decoded;
// *at ends after its closing quote. Only the escapes vqserve writes.
std::string JsonString(const std::string& text, size_t* at) {
  std::string out;
  while (*at < text.size() && text[*at] != '"') {
    char c = text[(*at)++];
    if (c == '\\' && *at < text.size()) {
      c = text[(*at)++];
      if (c == 'u') {
        c = static_cast<char>(std::stoi(text.substr(*at, 4), nullptr, 16));
        *at += 4;
      } else {
        c = c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
      }
    }
    out += c;
  }
  ++*at;
  return out;
}

// The page and the [name, value] pairs of one line of vqserve's request log.
Params ParseRequest(const std::string& line, std::string* page) {
  Params params;
  size_t at = line.find("\"page\":\"");
  *page = at == std::string::npos ? "" : JsonString(line, &(at += 8));
  for (at = line.find("\"params\":[");
       at != std::string::npos && (at = line.find("[\"", at)) != std::string::npos;) {
    at += 2;
    std::string name = JsonString(line, &at);
    at = line.find('"', at) + 1;
    params.emplace_back(std::move(name), JsonString(line, &at));
  }
  return params;
}

// The parameters of the first request for `page` among `requests`.
Params FirstRequestParams(const std::vector<std::string>& requests, const std::string& page) {
  std::string requested;
  for (const std::string& line : requests) {
    Params params = ParseRequest(line, &requested);
    if (requested == page) return params;
  }
  return {};
}

// The error codes of every error report among `requests`.
std::vector<std::string> ReportedCodes(const std::vector<std::string>& requests) {
  std::vector<std::string> codes;
  std::string page;
  for (const std::string& line : requests)
    for (const auto& [name, value] : ParseRequest(line, &page))
      if (page == "vqerror.php" && name == "errCode") codes.push_back(value);
  return codes;
}

// "NAME = VALUE", "NAME =" (the empty value) or "NAME contains VALUE".
struct Claim {
  std::string name, value;
  bool contains;
};
std::optional<Claim> ParseClaim(const AgentHarness& agent, const std::string& rest) {
  const size_t equals = rest.find(" = "), contains = rest.find(" contains ");
  if (equals != std::string::npos)
    return Claim{rest.substr(0, equals), Unescape(Fill(agent, rest.substr(equals + 3))), false};
  if (rest.size() >= 2 && rest.compare(rest.size() - 2, 2, " =") == 0)
    return Claim{rest.substr(0, rest.size() - 2), "", false};
  if (contains != std::string::npos)
    return Claim{rest.substr(0, contains), Unescape(Fill(agent, rest.substr(contains + 10))), true};
  return std::nullopt;
}

// "request|report params = a b? c": the names sent, in order; one ending in
// "?" may be missing.
void CheckParamNames(const Params& params, const std::string& value) {
  std::string names, all;
  size_t next = 0;
  for (std::string wanted : Lines(ReplaceAll(value, " ", "\n"))) {
    const bool optional = !wanted.empty() && wanted.back() == '?';
    if (optional) wanted.pop_back();
    if (next < params.size() && params[next].first == wanted) {
      names += " " + params[next++].first;
    } else if (!optional) {
      names += " (" + wanted + " missing)";
    }
  }
  for (const auto& param : params) all += " " + param.first;
  EXPECT_EQ(all, names) << "expected " << value;
}

// Checks one line of a ```result block. `requests` are the update server's
// request log lines of this example.
void CheckResult(AgentHarness& agent, const std::string& line,
                 const std::vector<std::string>& requests, const std::string& where) {
  SCOPED_TRACE(where + ": " + line);
  const size_t space = line.find(' ');
  const std::string kind = line.substr(0, space);
  const std::optional<Claim> claim =
      ParseClaim(agent, space == std::string::npos ? "" : line.substr(space + 1));
  const std::string launches = agent.DataPath("launches.txt");
  if (kind == "file" && claim) {
    const std::string text = ReadIfThere(agent.DataPath(claim->name));
    if (!claim->contains) {
      EXPECT_EQ(claim->value, text);
    } else {
      EXPECT_NE(std::string::npos, text.find(claim->value))
          << (text.size() > 2000 ? "..." + text.substr(text.size() - 2000) : text);
    }
  } else if (StartsWith(line, "no file ")) {
    EXPECT_FALSE(PathExists(agent.DataPath(line.substr(8))));
  } else if (kind == "mode" && claim && !claim->contains) {
    EXPECT_EQ(std::stoi(claim->value, nullptr, 8),
              vq_testing::FileMode(agent.DataPath(claim->name)));
  } else if (kind == "variable" && claim && !claim->contains) {
    const std::string reply = agent.Http("GET", "/~cmd/info/" + claim->name);
    const size_t body = reply.find("\r\n\r\n");
    EXPECT_EQ(claim->value, body == std::string::npos ? reply : reply.substr(body + 4));
  } else if ((kind == "request" || kind == "report") && claim) {
    // The first update request or error report of the example (later ones
    // go to the other servers of the pass).
    const std::string page = kind == "request" ? "vq.php" : "vqerror.php";
    const Params params = FirstRequestParams(requests, page);
    ASSERT_FALSE(params.empty()) << "no " << page << " request";
    if (!claim->contains && claim->name == "params") return CheckParamNames(params, claim->value);
    const auto found = std::find_if(params.begin(), params.end(),
                                    [&](const auto& param) { return param.first == claim->name; });
    ASSERT_NE(found, params.end()) << "no parameter " << claim->name;
    if (claim->contains) {
      EXPECT_NE(std::string::npos, found->second.find(claim->value)) << found->second;
    } else {
      EXPECT_EQ(claim->value, found->second);
    }
  } else if (kind == "report" || line == "no report") {
    const std::vector<std::string> codes = ReportedCodes(requests);
    std::string all;
    for (const std::string& code : codes) all += code + " ";
    if (line == "no report") {
      EXPECT_TRUE(codes.empty()) << "reports: " << all;
    } else {
      EXPECT_NE(std::find(codes.begin(), codes.end(), line.substr(7)), codes.end())
          << "reports: " << all;
    }
  } else if (StartsWith(line, "launched only ")) {
    // Waits for the launch, then no other may have happened.
    EXPECT_TRUE(WaitFor([&] { return !ReadIfThere(launches).empty(); }));
    EXPECT_EQ(Fill(agent, line.substr(14)) + "\n", ReadIfThere(launches));
  } else if (StartsWith(line, "launched ")) {
    const std::string wanted = Fill(agent, line.substr(9));
    EXPECT_TRUE(WaitFor([&] {
      const std::vector<std::string> all = Lines(ReadIfThere(launches));
      return std::find(all.begin(), all.end(), wanted) != all.end();
    })) << ReadIfThere(launches);
  } else if (line == "the agent exits") {
    EXPECT_TRUE(agent.WaitForAgentExit());
  } else {
    ADD_FAILURE() << "unknown result line";
  }
}

// Only an example that says so may have ended the agent; it is started again
// for the next.
bool AgentReady(AgentHarness& agent, bool exitExpected, std::string* why) {
  EXPECT_TRUE(exitExpected || agent.AgentRunning()) << "the agent ended after the example before";
  return agent.RestartAgentIfGone(why);
}

TEST(DocsExamples, AnswerDocumentsDoWhatThePagesSay) {
  AgentHarness agent;
  std::string why;
  ASSERT_TRUE(agent.Start(&why)) << why;
  int run = 0;
  bool exitExpected = false;
  for (const vq_docs::AnswerExample& example : LoadExamples().answers) {
    SCOPED_TRACE(example.answer.where());
    ASSERT_TRUE(AgentReady(agent, exitExpected, &why)) << why;
    exitExpected = example.result.text.find("the agent exits") != std::string::npos;
    for (const vq_docs::FencedBlock& file : example.files)
      vq_testing::WriteFile(agent.DataPath(file.marker().substr(5)), Fill(agent, file.text));
    // Launches and reports of earlier examples do not count.
    std::remove(agent.DataPath("launches.txt").c_str());
    const size_t known = agent.Requests().size();
    const std::string marker = example.answer.marker();
    const AgentHarness::Signing signing =
        marker == "answer unsigned"       ? AgentHarness::kUnsigned
        : marker == "answer badly-signed" ? AgentHarness::kBadlySigned
        : marker == "answer without-sig2" ? AgentHarness::kWithoutSecondSignature
                                          : AgentHarness::kSigned;
    ASSERT_TRUE(agent.Update(example.answer.text, signing)) << agent.Log();
    ++run;
    const std::vector<std::string> all = agent.Requests();
    const std::vector<std::string> requests(
        all.begin() + static_cast<long>(std::min(known, all.size())), all.end());
    for (const std::string& line : Lines(example.result.text))
      if (!line.empty() && line[0] != '#')
        CheckResult(agent, line, requests, example.result.where());
  }
  std::cout << "answer documents executed: " << run << std::endl;
  EXPECT_GE(run, 10);
}

// ---- Command server ----

// An ```http block: its head lines, whether an empty line follows them, and
// the lines after that one without the last line end.
struct HttpBlock {
  std::vector<std::string> head;
  bool blank = false;
  std::string body;
};
HttpBlock SplitBlock(const std::string& block) {
  HttpBlock split;
  for (const std::string& line : Lines(block)) {
    if (split.blank) {
      split.body += (split.body.empty() ? "" : "\n") + line;
    } else if (line.empty() && !split.head.empty()) {
      split.blank = true;
    } else {
      split.head.push_back(line);
    }
  }
  return split;
}

// The request of an ```http command block, as sent: the request line, the
// block's header lines, Host (unless the block has one), Connection and
// Content-Length, then the body.
std::string BuildRequest(const AgentHarness& agent, const std::string& block) {
  const HttpBlock split = SplitBlock(Fill(agent, block));
  std::string head;
  bool hasHost = false;
  for (size_t i = 0; i < split.head.size(); ++i) {
    hasHost = hasHost || (i > 0 && StartsWith(split.head[i], "Host:"));
    head += split.head[i] + (i == 0 ? " HTTP/1.1\r\n" : "\r\n");
  }
  if (!hasHost) head += "Host: 127.0.0.1\r\n";
  return head + "Connection: close\r\nContent-Length: " + std::to_string(split.body.size()) +
         "\r\n\r\n" + split.body;
}

// The reply of an ```http reply block: header lines ended by CR LF, an empty
// line, then the body, "\r" in it standing for a carriage return.
std::string ExpectedReply(const AgentHarness& agent, const std::string& block) {
  const HttpBlock split = SplitBlock(Fill(agent, block));
  std::string reply;
  for (const std::string& line : split.head) reply += line + "\r\n";
  return reply + (split.blank ? "\r\n" : "") + ReplaceAll(split.body, "\\r", "\r");
}

TEST(DocsExamples, CommandsGetTheRepliesThePagesShow) {
  AgentHarness agent;
  std::string why;
  ASSERT_TRUE(agent.Start(&why)) << why;
  int run = 0;
  bool exitExpected = false;
  for (const vq_docs::CommandExample& example : LoadExamples().commands) {
    SCOPED_TRACE(example.command.where());
    ASSERT_TRUE(AgentReady(agent, exitExpected, &why)) << why;  // only a quit ends it
    const std::string key = agent.Key();
    const std::string expected = ExpectedReply(agent, example.reply.text);
    const std::string reply = agent.Exchange(BuildRequest(agent, example.command.text));
    ++run;
    EXPECT_TRUE(Matches(expected, reply)) << "expected:\n" << expected << "\nreply:\n" << reply;
    EXPECT_EQ(std::string::npos, reply.find(key)) << "the key must never appear in a reply";
    // A quit ends the agent after its reply; the next example needs a new one.
    exitExpected = example.command.text.find("/~cmd/quit") != std::string::npos;
    if (exitExpected) {
      EXPECT_TRUE(agent.WaitForAgentExit());
    }
  }
  std::cout << "commands executed: " << run << std::endl;
  EXPECT_GE(run, 5);
}

}  // namespace
