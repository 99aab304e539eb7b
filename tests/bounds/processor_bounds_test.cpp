// The response processor on files and answers that misbehave: devices and
// FIFOs named by actions, answers whose signature does not verify.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "response/response_fixture.h"
#include "response/vq_response_processor.h"

namespace {

using std::chrono::seconds;

// The response tests' data directory, variables and recording application.
class ProcessorBoundsTest : public DataDirTest {
 protected:
  // Runs `actions` as one transaction on a separate thread; the code it was
  // reported with (0: none). When it is still running after a few seconds
  // (blocked opening `fifo`), the FIFO gets a writer so that the thread can
  // end, and the test fails.
  int FailureCode(const std::string& actions, const std::string& fifo) {
    app_.reports.clear();
    auto run = std::async(std::launch::async, [&] {
      TiXmlDocument document;
      document.Parse(("<vq><transaction>" + actions + "</transaction></vq>").c_str());
      VqResponseProcessor processor(pool_, &app_, "http://server/vq.php");
      processor.processTransactions(document.RootElement(), &app_);
    });
    if (run.wait_for(seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "blocked on " << actions;
      // Each open of the FIFO for reading waits for one writer.
      for (int i = 0;
           i < 100 && run.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready;
           ++i) {
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
      }
    }
    run.get();
    return app_.reports.empty() ? 0 : app_.reports[0].getErrorCode();
  }
};

TEST_F(ProcessorBoundsTest, ActionsNeverBlockOnOrReadDevicesAndFifos) {
  const std::string fifo = dir_.Append("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // The current file of a download is compared only when it is a regular
  // file; here the download itself then fails (nothing listens on port 1).
  EXPECT_EQ(kErrTransport, FailureCode("<web url=\"http://127.0.0.1:1/x\" filename=\"" + fifo +
                                            "\" md5=\"" + std::string(32, '0') + "\"/>",
                                        fifo));
  for (const std::string& target : {fifo, std::string("/dev/zero")}) {
    EXPECT_EQ(kErrXmlEditParse,
              FailureCode("<xmledit filename=\"" + target + "\"><remove rpn=\"/a\"/></xmledit>",
                          fifo))
        << target;
    EXPECT_EQ(kErrLaunchParse,
              FailureCode("<launch><if filename=\"" + target +
                              "\" rpn=\"/a\"/><command>x</command></launch>", fifo))
        << target;
  }
  EXPECT_TRUE(app_.launches.empty());
}

// An answer whose signature does not verify is refused as unparsable once
// it is beyond the small bound; below it, the usual order of codes holds.
// A verified answer of the same size is processed.
TEST_F(ProcessorBoundsTest, UnverifiedAnswersAreParsedOnlyUnderSmallBounds) {
  auto elements = [](int count) {
    std::string text = "<vq version=\"2.0\" update=\"77\">";
    for (int i = 0; i < count; ++i) text += "<a/>";
    return text + "</vq>";
  };
  const std::string small = elements(100), many = elements(5000);
  std::string big = "<vq version=\"2.0\" update=\"77\"><a b=\"";
  big += std::string(300 * 1024, 'x') + "\"/></vq>";
  struct Case {
    std::string body, signature;
    int code;
  };
  for (const Case& c :
       {Case{many, "", kErrResponseXmlParse},
        Case{many, TestSigner().signBase64(small), kErrResponseXmlParse},
        Case{big, "", kErrResponseXmlParse},
        Case{"<nope/>", "", kErrNotVqRoot},
        Case{small, "", kErrNoSignatureHeader},
        Case{small, TestSigner().signBase64(many), kErrSignatureMismatch},
        Case{many, TestSigner().signBase64(many), 0},
        Case{big, TestSigner().signBase64(big), 0}}) {
    CannedWeb web(pool_, c.body);
    if (!c.signature.empty()) web.setHeader("xxx-vq-sig", c.signature);
    VqResponseProcessor processor(pool_, &app_, "http://server/vq.php");
    int code = 0;
    try {
      processor.process(web, &app_, true);
    } catch (const VqException& e) {
      code = e.getErrorCode();
    }
    EXPECT_EQ(c.code, code) << c.body.substr(0, 60) << " (" << c.body.size() << " bytes)";
    if (c.code == 0) { EXPECT_EQ(77, processor.updateSeconds()); }
  }
}

}  // namespace
