// An action document taken as a received answer, through everything that
// happens to it before and after the signature check: the bounds pre-scan,
// parsing, the envelope checks and each action handler. The handlers run
// against a scratch data directory with a fake application, so launches,
// quits and upgrades are only recorded.
//
// Documents are trusted once signed, so their file names may point
// anywhere. The fuzzer must not write or delete outside the scratch
// directory, so an input whose attributes name a path outside it (an
// absolute path other than the data directory's, or "..") is skipped, and
// every download is pointed at a closed loopback port and cancelled.
#include <strings.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "lifecycle/application_external_implementation.h"
#include "lifecycle/vq_application.h"
#include "response/exception_report_interface.h"
#include "response/vq_response_processor.h"
#include "support/apr_pool.h"
#include "support/bounded_xml.h"
#include "support/vq_exception.h"
#include "web/web.h"

namespace vq_fuzz {
namespace {

// Nothing listens on the discard port of the loopback interface.
constexpr const char* kClosedUrl = "http://127.0.0.1:9/file";

class FakeApplication : public ApplicationExternalImplementation,
                        public ExceptionReportInterface {
 public:
  FakeApplication() : ApplicationExternalImplementation(nullptr) {}
  int launchProcess(std::string&, std::vector<std::string>&) override {
    ++launches;
    return 0;
  }
  void setQuit() override { quit = true; }
  void setUpgrade() override { upgrade = true; }
  bool shouldQuit() override { return false; }
  void report(VqException&) override { ++reports; }

  int launches = 0;
  int reports = 0;
  bool quit = false;
  bool upgrade = false;
};

// A response that has arrived with `body`.
class CannedWeb : public Web {
 public:
  CannedWeb(apr_pool_t* pool, const std::string& body) : Web(pool) {
    mutableBody().append(body.data(), body.size());
  }
  bool get() override { return true; }
};

// Whether an attribute value may name a path outside the data directory.
bool LeavesDataDirectory(const std::string& value) {
  if (value.find("..") != std::string::npos) return true;
  if (value.empty()) return false;
  // After the variables are cleared only "dir.data" expands to an
  // absolute path; any other reference at the start is skipped unread.
  return value[0] == '/' || value[0] == '~' ||
         (value.compare(0, 2, "${") == 0 &&
          value.compare(0, 11, "${dir.data}") != 0 &&
          value.compare(0, 3, "${@") != 0);
}

// Skips (false) documents that may reach outside the scratch directory;
// points every "web" element's url at the closed port. Sets `rewritten`
// when the text must be replaced by `document`'s.
bool Confine(TiXmlNode* node, bool* rewritten) {
  for (TiXmlNode* child = node->FirstChild(); child;
       child = child->NextSibling()) {
    TiXmlElement* element = child->ToElement();
    if (!element) continue;
    for (TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
      if (LeavesDataDirectory(a->ValueStr())) return false;
    }
    if (strcasecmp(element->Value(), "web") == 0) {
      element->SetAttribute("url", kClosedUrl);
      *rewritten = true;
    }
    if (!Confine(element, rewritten)) return false;
  }
  return true;
}

}  // namespace

bool FuzzActionDocument(const uint8_t* data, size_t size, std::string* failure) {
  std::string body = Bytes(data, size);
  {
    // The same reading the processor does, bounded the same way, so the
    // oracle's own parse cannot overflow the stack.
    TiXmlDocument document;
    if (loadBoundedXml(document, body.c_str(), body.size(), nullptr)) {
      bool rewritten = false;
      if (!Confine(&document, &rewritten)) return true;
      if (rewritten) {
        TiXmlPrinter printer;
        document.Accept(&printer);
        body = printer.CStr();
      }
    }
  }

  ScratchDir dir;
  VqApplication::clearEnv();
  VqApplication::setEnv(VqApplication::DIR_DATA, dir.path().c_str());
  apr::Pool pool;
  FakeApplication app;
  CannedWeb web(pool, body);
  try {
    VqResponseProcessor processor(pool, &app, "http://server/vq.php");
    processor.setCancelCheck([] { return true; });
    processor.process(web, &app, false);
  } catch (const VqException&) {
  } catch (const std::string&) {
  } catch (const std::exception&) {
  }
  VqApplication::clearEnv();
  (void)failure;
  return true;
}

}  // namespace vq_fuzz
