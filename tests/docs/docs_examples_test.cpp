// Every runnable example of the pages in docs/ is run against the program it
// describes: answer documents through vqserve and the real agent, path
// expressions through the path evaluator, commands against the real command
// server. A page can then never describe what the program does not do.

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "docs/agent_harness.h"
#include "docs/doc_examples.h"
#include "rpn/rpn_path.h"
#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace {

using vq_docs::AgentHarness;
using vq_docs::FencedBlock;
using vq_docs::Lines;
using vq_testing::PathExists;
using vq_testing::WaitFor;

vq_docs::Examples LoadExamples() {
  return vq_docs::GroupExamples(vq_docs::ReadFencedBlocks(VQ_DOCS_DIR));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

using vq_testing::ReadIfThere;

// Replaces every `from` in `text` with `to`.
std::string ReplaceAll(std::string text, const std::string& from,
                       const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos;
       at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The placeholders a page may use for what differs between runs.
std::string Fill(const AgentHarness& agent, std::string text) {
  text = ReplaceAll(text, "{key}", agent.Key());
  text = ReplaceAll(text, "{host}", agent.CommandServerAddress());
  text = ReplaceAll(text, "{server-without-sig2}",
                    agent.ServerUrl(AgentHarness::Signing::kWithoutSecondSignature));
  std::string data = agent.DataPath();
  data.pop_back();  // no trailing "/"
  return ReplaceAll(text, "{data}", data);
}

// "\n", "\t" and "\\" in a result text.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char c = text[++i];
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      out += text[i];
    }
  }
  return out;
}

// True when `actual` is `pattern`, where each "{any}" of the pattern stands
// for any text.
bool Matches(const std::string& pattern, const std::string& actual) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = pattern.find("{any}", start)) != std::string::npos;
       start = at + 5) {
    parts.push_back(pattern.substr(start, at - start));
  }
  parts.push_back(pattern.substr(start));
  if (parts.size() == 1) return pattern == actual;
  if (!StartsWith(actual, parts.front())) return false;
  size_t position = parts.front().size();
  for (size_t i = 1; i + 1 < parts.size(); ++i) {
    position = actual.find(parts[i], position);
    if (position == std::string::npos) return false;
    position += parts[i].size();
  }
  const std::string& last = parts.back();
  return actual.size() >= position + last.size() &&
         actual.compare(actual.size() - last.size(), last.size(), last) == 0;
}

// ---- Path language ----

std::string Describe(const std::string& xml, const std::string& expression) {
  TiXmlDocument document;
  document.Parse(xml.c_str());
  if (document.Error()) return std::string("bad document: ") + document.ErrorDesc();
  try {
    RpnPath path(expression.c_str());
    std::vector<TiXmlNode*> selected;
    path.filter(&document, selected);
    if (selected.empty()) return "nothing\n";
    std::string out;
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
  int run = 0;
  for (const vq_docs::PathExample& example : LoadExamples().paths) {
    std::string expression;
    std::string expected;
    bool pending = false;
    auto check = [&] {
      if (!pending) return;
      ++run;
      EXPECT_EQ(expected, Describe(example.document.text, expression))
          << example.paths.where() << ": " << expression;
      expected.clear();
      pending = false;
    };
    for (const std::string& line : Lines(example.paths.text)) {
      if (StartsWith(line, "=> ")) {
        expected += line.substr(3) + "\n";
      } else if (!line.empty()) {
        check();
        expression = line;
        pending = true;
      }
    }
    check();
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
      if (c == 'n') c = '\n';
      else if (c == 't') c = '\t';
      else if (c == 'r') c = '\r';
      else if (c == 'u') { c = static_cast<char>(std::stoi(text.substr(*at, 4), nullptr, 16)); *at += 4; }
    }
    out += c;
  }
  ++*at;
  return out;
}

// The page and the [name, value] pairs of one line of vqserve's request log.
std::string RequestPage(const std::string& line) {
  const std::string mark = "\"page\":\"";
  size_t at = line.find(mark);
  if (at == std::string::npos) return "";
  at += mark.size();
  return JsonString(line, &at);
}

Params RequestParams(const std::string& line) {
  Params params;
  size_t at = line.find("\"params\":[");
  if (at == std::string::npos) return params;
  at += 10;
  while ((at = line.find("[\"", at)) != std::string::npos) {
    at += 2;
    std::string name = JsonString(line, &at);
    at = line.find('"', at) + 1;
    params.emplace_back(std::move(name), JsonString(line, &at));
  }
  return params;
}

// Checks one line of a ```result block. `requests` are the update server's
// request log lines of this example.
void CheckResult(AgentHarness& agent, const std::string& line,
                 const std::vector<std::string>& requests,
                 const std::string& where) {
  SCOPED_TRACE(where + ": " + line);
  auto split = [&](const std::string& head, const std::string& separator,
                   std::string* left, std::string* right) {
    const std::string rest = line.substr(head.size());
    size_t at = rest.find(separator);
    // "NAME =" at the end of the line: the empty value.
    if (at == std::string::npos && separator == " = " && rest.size() >= 2 &&
        rest.compare(rest.size() - 2, 2, " =") == 0) {
      at = rest.size() - 2;
      *left = rest.substr(0, at);
      right->clear();
      return true;
    }
    if (at == std::string::npos) return false;
    *left = rest.substr(0, at);
    *right = Unescape(Fill(agent, rest.substr(at + separator.size())));
    return true;
  };
  std::string name, value;
  if (StartsWith(line, "file ") && split("file ", " = ", &name, &value)) {
    EXPECT_EQ(value, ReadIfThere(agent.DataPath(name)));
  } else if (StartsWith(line, "file ") &&
             split("file ", " contains ", &name, &value)) {
    const std::string text = ReadIfThere(agent.DataPath(name));
    EXPECT_NE(std::string::npos, text.find(value))
        << (text.size() > 2000 ? "..." + text.substr(text.size() - 2000) : text);
  } else if (StartsWith(line, "no file ")) {
    EXPECT_FALSE(PathExists(agent.DataPath(line.substr(8))));
  } else if (StartsWith(line, "mode ") && split("mode ", " = ", &name, &value)) {
    EXPECT_EQ(std::stoi(value, nullptr, 8),
              vq_testing::FileMode(agent.DataPath(name)));
  } else if (StartsWith(line, "variable ") &&
             split("variable ", " = ", &name, &value)) {
    const std::string reply = agent.Http(
        "GET /~cmd/info/" + name +
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const size_t body = reply.find("\r\n\r\n");
    EXPECT_EQ(value, body == std::string::npos ? reply : reply.substr(body + 4));
  } else if (StartsWith(line, "request ") ||
             (StartsWith(line, "report ") && line.find(' ', 7) != std::string::npos)) {
    // "request|report params = a b? c", "... NAME = VALUE",
    // "... NAME contains TEXT": the first update request or error report of
    // the example (later ones go to the other servers of the pass).
    const bool update = StartsWith(line, "request ");
    const std::string page = update ? "vq.php" : "vqerror.php";
    Params params;
    for (const std::string& request : requests) {
      if (RequestPage(request) == page) {
        params = RequestParams(request);
        break;
      }
    }
    ASSERT_FALSE(params.empty()) << "no " << page << " request";
    const std::string head = update ? "request " : "report ";
    if (split(head, " = ", &name, &value) && name == "params") {
      // A name ending in "?" may be missing.
      std::vector<std::string> sent;
      for (const auto& param : params) sent.push_back(param.first);
      std::string names, all;
      size_t next = 0;
      for (std::string wanted : Lines(ReplaceAll(value, " ", "\n"))) {
        const bool optional = !wanted.empty() && wanted.back() == '?';
        if (optional) wanted.pop_back();
        if (next < sent.size() && sent[next] == wanted) {
          names += (names.empty() ? "" : " ") + sent[next++];
        } else if (!optional) {
          names += (names.empty() ? "" : " ") + ("(" + wanted + " missing)");
        }
      }
      for (const std::string& one : sent) all += (all.empty() ? "" : " ") + one;
      EXPECT_EQ(all, names) << "expected " << value;
      return;
    }
    const bool contains = !split(head, " = ", &name, &value);
    if (contains) {
      ASSERT_TRUE(split(head, " contains ", &name, &value));
    }
    auto found = std::find_if(params.begin(), params.end(),
                              [&](const auto& param) { return param.first == name; });
    ASSERT_NE(found, params.end()) << "no parameter " << name;
    if (contains) {
      EXPECT_NE(std::string::npos, found->second.find(value)) << found->second;
    } else {
      EXPECT_EQ(value, found->second);
    }
  } else if (StartsWith(line, "report ") || line == "no report") {
    std::vector<std::string> codes;
    for (const std::string& request : requests) {
      if (RequestPage(request) != "vqerror.php") continue;
      for (const auto& param : RequestParams(request))
        if (param.first == "errCode") codes.push_back(param.second);
    }
    std::string all;
    for (const std::string& code : codes) all += code + " ";
    if (line == "no report") {
      EXPECT_TRUE(codes.empty()) << "reports: " << all;
    } else {
      EXPECT_NE(std::find(codes.begin(), codes.end(), line.substr(7)),
                codes.end())
          << "reports: " << all;
    }
  } else if (StartsWith(line, "launched only ")) {
    // Waits for the launch, then no other may have happened.
    const std::string wanted = Fill(agent, line.substr(14));
    EXPECT_TRUE(WaitFor([&] {
      return !ReadIfThere(agent.DataPath("launches.txt")).empty();
    }));
    EXPECT_EQ(wanted + "\n", ReadIfThere(agent.DataPath("launches.txt")));
  } else if (StartsWith(line, "launched ")) {
    const std::string wanted = Fill(agent, line.substr(9));
    EXPECT_TRUE(WaitFor([&] {
      for (const std::string& launch : Lines(ReadIfThere(agent.DataPath("launches.txt"))))
        if (launch == wanted) return true;
      return false;
    })) << ReadIfThere(agent.DataPath("launches.txt"));
  } else if (line == "the agent exits") {
    EXPECT_TRUE(agent.WaitForAgentExit());
  } else {
    ADD_FAILURE() << "unknown result line";
  }
}

TEST(DocsExamples, AnswerDocumentsDoWhatThePagesSay) {
  const std::vector<vq_docs::AnswerExample> examples = LoadExamples().answers;
  AgentHarness agent;
  std::string why;
  ASSERT_TRUE(agent.Start(&why)) << why;
  int run = 0;
  bool exitExpected = false;
  for (const vq_docs::AnswerExample& example : examples) {
    SCOPED_TRACE(example.answer.where());
    // Only an example that says so may end the agent.
    EXPECT_TRUE(exitExpected || agent.AgentRunning())
        << "the agent ended after the example before";
    ASSERT_TRUE(agent.RestartAgentIfGone(&why)) << why;
    exitExpected = example.result.text.find("the agent exits") != std::string::npos;
    for (const FencedBlock& file : example.files) {
      vq_testing::WriteFile(agent.DataPath(file.marker().substr(5)),
                            Fill(agent, file.text));
    }
    // Launches and reports of earlier examples do not count.
    std::remove(agent.DataPath("launches.txt").c_str());
    const size_t known = agent.Requests().size();
    const std::string marker = example.answer.marker();
    const AgentHarness::Signing signing =
        marker == "answer unsigned"       ? AgentHarness::Signing::kUnsigned
        : marker == "answer badly-signed" ? AgentHarness::Signing::kBadlySigned
        : marker == "answer without-sig2"
            ? AgentHarness::Signing::kWithoutSecondSignature
            : AgentHarness::Signing::kSigned;
    ASSERT_TRUE(agent.Update(example.answer.text, signing)) << agent.Log();
    ++run;
    const std::vector<std::string> all = agent.Requests();
    const std::vector<std::string> requests(
        all.begin() + static_cast<long>(std::min(known, all.size())), all.end());
    for (const std::string& line : Lines(example.result.text)) {
      if (line.empty() || line[0] == '#') continue;
      CheckResult(agent, line, requests, example.result.where());
    }
  }
  std::cout << "answer documents executed: " << run << std::endl;
  EXPECT_GT(run, 0);
}

// ---- Command server ----

// The request of an ```http command block, as sent: the request line, the
// block's header lines, Host (unless the block has one), Connection and
// Content-Length, then the body (the lines after the first empty one,
// without the last line end).
std::string BuildRequest(const AgentHarness& agent, const std::string& block) {
  const std::vector<std::string> lines = Lines(Fill(agent, block));
  std::string head = lines.empty() ? "" : lines[0] + " HTTP/1.1\r\n";
  std::string body;
  bool inBody = false, hasHost = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (inBody) {
      body += (body.empty() ? "" : "\n") + lines[i];
    } else if (lines[i].empty()) {
      inBody = true;
    } else {
      hasHost = hasHost || StartsWith(lines[i], "Host:");
      head += lines[i] + "\r\n";
    }
  }
  if (!hasHost) head += "Host: 127.0.0.1\r\n";
  return head + "Connection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The reply of an ```http reply block: header lines ended by CR LF, an empty
// line, then the body without the last line end, "\r" in it standing for a
// carriage return.
std::string ExpectedReply(const AgentHarness& agent, const std::string& block) {
  std::string reply;
  bool inBody = false;
  std::string body;
  for (const std::string& line : Lines(Fill(agent, block))) {
    if (inBody) {
      body += (body.empty() ? "" : "\n") + line;
    } else {
      reply += line + "\r\n";
      inBody = line.empty();
    }
  }
  // "\r" in a body stands for a carriage return.
  return reply + ReplaceAll(body, "\\r", "\r");
}

TEST(DocsExamples, CommandsGetTheRepliesThePagesShow) {
  const std::vector<vq_docs::CommandExample> examples = LoadExamples().commands;
  AgentHarness agent;
  std::string why;
  ASSERT_TRUE(agent.Start(&why)) << why;
  int run = 0;
  bool exitExpected = false;
  for (const vq_docs::CommandExample& example : examples) {
    SCOPED_TRACE(example.command.where());
    // Only a quit may end the agent.
    EXPECT_TRUE(exitExpected || agent.AgentRunning())
        << "the agent ended after the command before";
    ASSERT_TRUE(agent.RestartAgentIfGone(&why)) << why;
    const std::string key = agent.Key();
    const std::string request = BuildRequest(agent, example.command.text);
    const std::string expected = ExpectedReply(agent, example.reply.text);
    const std::string reply = agent.Http(request);
    ++run;
    EXPECT_TRUE(Matches(expected, reply))
        << "expected:\n" << expected << "\nreply:\n" << reply;
    EXPECT_EQ(std::string::npos, reply.find(key))
        << "the key must never appear in a reply";
    // A quit ends the agent after its reply; the next example needs a new one.
    exitExpected = example.command.text.find("/~cmd/quit") != std::string::npos;
    if (exitExpected) {
      EXPECT_TRUE(agent.WaitForAgentExit());
    }
  }
  std::cout << "commands executed: " << run << std::endl;
  EXPECT_GT(run, 0);
}

TEST(DocsExamples, EveryKindOfExampleIsPresent) {
  const vq_docs::Examples examples = LoadExamples();
  EXPECT_GE(examples.answers.size(), 10u);
  EXPECT_GE(examples.paths.size(), 3u);
  EXPECT_GE(examples.commands.size(), 5u);
}

}  // namespace
