// The response processor: the envelope checked by process() before any
// transaction runs, and how a document's transactions run and fail.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/vq_application.h"
#include "response/bounded_xml.h"
#include "response/vq_response_processor.h"
#include "response_test_support.h"
#include "testing/file_util.h"
#include "vqsign/rsa_signer.h"

namespace vq_response_test {
namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;

class ResponseEnvelopeTest : public ResponseTest {
 protected:
  // Processes `body` as a response carrying `signature` (none when empty).
  std::unique_ptr<VqResponseProcessor> Process(
      const std::string& body, bool requireSignature = false,
      const std::string& signature = std::string()) {
    CannedWeb web(pool_, body);
    if (!signature.empty()) web.setHeader("xxx-vq-sig", signature);
    auto processor = std::make_unique<VqResponseProcessor>(
        pool_, &external_, "http://server/vq.php");
    processor->process(web, &reporter_, requireSignature);
    return processor;
  }

  static std::string Sign(const std::string& body) {
    std::string error;
    auto signer = vqtools::RsaSigner::fromPemFile(VQ_TEST_PRIVATE_KEY, &error);
    EXPECT_TRUE(signer) << error;
    return signer ? signer->signBase64(body) : std::string();
  }

  // A document whose one transaction writes "ran.txt".
  static std::string Document(const std::string& rootAttributes,
                              const std::string& rootName = "vq") {
    return "<" + rootName + " " + rootAttributes +
           "><transaction><write filename='ran.txt'>yes</write>"
           "</transaction></" + rootName + ">";
  }

  bool Ran() const { return vq_testing::PathExists(DataPath("ran.txt")); }
};

TEST_F(ResponseEnvelopeTest, RootNameAndVersion) {
  for (const char* version : {"2", "2.0", "2.00"}) {
    Process(Document(std::string("version='") + version + "'", "VQ"));
    EXPECT_TRUE(Ran()) << version;
  }
  for (const char* version :
       {"version='1.0'", "version='2.1'", "", "version='abc'"}) {
    EXPECT_VQ_CODE(Process(Document(version)), kErrBadVersion);
  }
  // An error page travels whole in the message.
  const std::string page = "<html><body>Service Unavailable</body></html>";
  try {
    Process(page);
    ADD_FAILURE() << "html accepted";
  } catch (const VqException& e) {
    EXPECT_EQ(kErrNotVqRoot, e.getErrorCode());
    EXPECT_EQ(VqException::zone(1), e.getErrorZone());
    EXPECT_EQ(VqException::severity(2), e.getErrorSeverity());
    EXPECT_EQ("http://server/vq.php", e.url());
    EXPECT_EQ(0u, std::string(e.what()).find("Server returned: " + page));
  }
}

TEST_F(ResponseEnvelopeTest, UnparsableOversizedAndDeepBodiesAreCode105) {
  std::string deep = "<vq version='2'>";
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  for (const std::string& body :
       {std::string("not xml <"), std::string(""),
        std::string("<!-- only a comment -->"), std::string("<vq version='2'>"),
        "<vq version='2'>" + std::string(kMaxXmlBytes, ' ') + "</vq>"}) {
    EXPECT_VQ_CODE(Process(body), kErrResponseXmlParse);
  }
  // Refused before parsing, although the signature is checked only later.
  try {
    Process(deep, true);
    ADD_FAILURE() << "deep document accepted";
  } catch (const VqException& e) {
    EXPECT_EQ(kErrResponseXmlParse, e.getErrorCode());
    EXPECT_EQ(0u, std::string(e.what()).find(
                      "XML parsing of server response XML failed: XML "
                      "elements nest deeper"))
        << e.what();
  }
}

TEST_F(ResponseEnvelopeTest, SignatureIsCheckedOnlyWhenRequired) {
  const std::string body = Document("version='2'");
  Process(body, false, "garbage");
  EXPECT_TRUE(Ran());
  ASSERT_EQ(0, std::remove(DataPath("ran.txt").c_str()));

  EXPECT_VQ_CODE(Process(body, true), kErrNoSignatureHeader);
  EXPECT_VQ_CODE(Process(body, true, "AAAA"), kErrSignatureMismatch);
  std::string tampered = body;
  tampered.replace(tampered.find("yes"), 3, "yep");
  EXPECT_VQ_CODE(Process(tampered, true, Sign(body)), kErrSignatureMismatch);
  EXPECT_FALSE(Ran());
  Process(body, true, Sign(body));
  EXPECT_TRUE(Ran());
}

TEST_F(ResponseEnvelopeTest, UpdateInterval) {
  const struct {
    const char* attributes;
    long seconds;
  } cases[] = {{"version='2'", 600},           {"version='2' update='0'", 0},
               {"version='2' update='-1'", 600}, {"version='2' update='abc'", 0},
               {"version='2' update=' 42s'", 42}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.seconds, Process(Document(c.attributes))->updateSeconds())
        << c.attributes;
  }
  // It holds when the transactions fail; a failed envelope keeps 600.
  EXPECT_EQ(30, Process("<vq version='2' update='30'><transaction><error "
                        "description='x'/></transaction></vq>")
                    ->updateSeconds());
  VqResponseProcessor fresh(pool_, &external_, "u");
  CannedWeb web(pool_, "<vq version='3' update='30'/>");
  EXPECT_VQ_CODE(fresh.process(web, nullptr, false), kErrBadVersion);
  EXPECT_EQ(600, fresh.updateSeconds());
}

std::string Write(const std::string& name) {
  return "<write filename='" + name + "'>" + name + "</write>";
}

std::string Transaction(const std::string& attributes,
                        const std::string& actions) {
  return "<transaction " + attributes + ">" + actions + "</transaction>";
}

using TransactionsTest = ResponseTest;

TEST_F(TransactionsTest, NoerrorsSkipsAndBreakStopsAfterAFailure) {
  const std::string fail = "<error description='first'/>";
  RunTransactions("<vq>" + Transaction("noerrors='true'", Write("a")) +
                  Transaction("", fail + "<crash/>") +
                  Transaction("noerrors='TRUE'", Write("b")) +
                  Transaction("noerrors='false'", Write("c")) +
                  Transaction("", "<unknown/>text") +
                  Transaction("onFailure='Break'", fail) +
                  Transaction("", Write("d")) +
                  Transaction("onFailure='break'", fail) +
                  Transaction("", Write("e")) + "</vq>");
  EXPECT_EQ((std::vector<std::string>{"a", "c", "d"}), DataEntries());
  ASSERT_EQ(3u, reporter_.reports.size());
  EXPECT_EQ(std::string("Error: first"), reporter_.reports[0].what());
}

TEST_F(TransactionsTest, FailureWithoutExceptionIsNotReportedButCounts) {
  // A write onto an existing directory can be neither backed up nor
  // replaced: the transaction fails in order and leaves nothing behind.
  vq_testing::MakeDirs(DataPath("occupied"));
  RunTransactions("<vq>" +
                  Transaction("", Write("before") + Write("occupied")) +
                  Transaction("noerrors='true'", Write("skipped")) +
                  Transaction("", Write("after")) + "</vq>");
  EXPECT_EQ((std::vector<std::string>{"after", "occupied"}), DataEntries());
  EXPECT_TRUE(reporter_.reports.empty());
}

TEST_F(TransactionsTest, VqExceptionAbandonsTheTransactionAndIsReported) {
  // The first write's temporary file is removed and nothing executes.
  RunTransactions(
      "<vq>" +
      Transaction("", Write("a") + "<error description='boom' zone='1' "
                                   "severity='2' code='77'/>") +
      Transaction("", "<error description='d' code='x'/>") +
      Transaction("", Write("b")) + "</vq>");
  EXPECT_EQ((std::vector<std::string>{"b"}), DataEntries());
  ASSERT_EQ(2u, reporter_.reports.size());
  const VqException& e = reporter_.reports[0];
  EXPECT_EQ(77, static_cast<int>(e.getErrorCode()));
  EXPECT_EQ(1, static_cast<int>(e.getErrorZone()));
  EXPECT_EQ(2, static_cast<int>(e.getErrorSeverity()));
  EXPECT_EQ(std::string("Error: boom"), e.what());
  EXPECT_EQ("http://server/vq.php", e.url());
  // Defaults: zone 0, severity 1, code 130 (also for a non-number).
  EXPECT_EQ(130, static_cast<int>(reporter_.reports[1].getErrorCode()));
  EXPECT_EQ(0, static_cast<int>(reporter_.reports[1].getErrorZone()));
  EXPECT_EQ(1, static_cast<int>(reporter_.reports[1].getErrorSeverity()));
}

TEST_F(TransactionsTest, OtherExceptionsEndTheDocumentWithoutLeftovers) {
  vq_testing::WriteFile(DataPath("c.xml"), "<c/>");
  // A path syntax error (a std::string) ends the document; the earlier
  // write's temporary file goes, and the lock is free afterwards.
  try {
    RunTransactions("<vq>" +
                    Transaction("", Write("a") +
                                        "<xmledit filename='c.xml'>"
                                        "<delete rpn='c'/></xmledit>") +
                    Transaction("", Write("b")) + "</vq>");
    ADD_FAILURE() << "no exception";
  } catch (const std::string& error) {
    EXPECT_EQ("RPN Path Expression must start with /", error);
  }
  // A write without text and an error without description end it with a
  // standard-library error.
  EXPECT_THROW(RunTransactions("<vq>" + Transaction("", Write("a") +
                               "<write filename='e'/>") + "</vq>"),
               std::logic_error);
  EXPECT_THROW(RunTransactions("<vq><transaction><error/></transaction></vq>"),
               std::logic_error);
  EXPECT_EQ((std::vector<std::string>{"c.xml"}), DataEntries());
  EXPECT_TRUE(reporter_.reports.empty());
  RunTransactions("<vq>" + Transaction("", Write("b")) + "</vq>");
  EXPECT_EQ("b", ReadFile(DataPath("b")));
}

TEST_F(TransactionsTest, ExpansionUsesVariablesAsTheyWereAtConstruction) {
  VqApplication::setEnv("name", "old");
  RunTransactions("<vq>" + Transaction("", "<set name='name' value='new'/>") +
                  Transaction("", "<write filename='${name}'>${name}</write>") +
                  "</vq>");
  EXPECT_EQ("new", VqApplication::getEnv("name"));
  EXPECT_EQ("${name}", ReadFile(DataPath("old")));  // text is not expanded
}

}  // namespace
}  // namespace vq_response_test
