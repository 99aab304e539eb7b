#include "soak/soak_driver.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testing/child_process.h"
#include "testing/file_util.h"
#include "testing/loopback_exchange.h"
#include "testing/wait_for.h"

namespace vq_soak {
namespace {

using vq_testing::ChildProcess;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::ReadIfThere;
using vq_testing::WaitFor;
using vq_testing::WriteFile;

// The value of the first line of `text` that starts with `label`, as a
// number of KiB; -1 when there is none.
long KibAfter(const std::string& text, const std::string& label) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(label, 0) == 0) return atol(line.c_str() + label.size());
  }
  return -1;
}

// The document every update pass receives. The download is deleted by the
// second transaction so that every pass downloads again; the error action
// makes every pass send an error report.
const char kPassDocument[] =
    "<vq version=\"2.0\" update=\"3600\">"
    "<transaction>"
    "<set name=\"soak.pass\" value=\"done\"/>"
    "<write filename=\"${dir.data}/soak/note.txt\">"
    "<![CDATA[written by an update pass]]></write>"
    "<web url=\"${download.base}/payload.bin\" "
    "filename=\"${dir.data}/soak/payload.bin\" "
    "md5=\"${download.md5:payload.bin}\"/>"
    "</transaction>"
    "<transaction><delete filename=\"${dir.data}/soak/payload.bin\"/>"
    "</transaction>"
    "<transaction><error code=\"130\" description=\"soak error report\"/>"
    "</transaction>"
    "</vq>";

// Interval of the test passes in tenths of a second; the agent's smallest.
const char kFastRefresh[] = "1";

constexpr auto kStartDeadline = std::chrono::seconds(30);
constexpr auto kPassDeadline = std::chrono::seconds(30);

}  // namespace

double Growth::AnonymousBytesPerUnit() const {
  return units == 0 ? 0.0 : AnonymousGrowthKib() * 1024.0 / units;
}

double Growth::ResidentBytesPerUnit() const {
  return units == 0
             ? 0.0
             : (at_end.resident_kib - at_start.resident_kib) * 1024.0 /
                   units;
}

std::vector<RequestKind> DefaultRequestKinds() {
  const std::string document =
      "<vq><transaction><set name=\"soak.cmd\" value=\"posted\"/>"
      "<write filename=\"${dir.data}/soak/posted.txt\">"
      "<![CDATA[posted]]></write></transaction></vq>";
  return {
      {"keyless version", "GET", "/~cmd/version", "", "200 OK"},
      {"keyless variable", "GET", "/~cmd/info/soak.cmd", "", "200 OK"},
      {"keyless listing", "GET", "/~cmd/info", "", "Application Environment"},
      {"keyless unknown variable", "GET", "/~cmd/info/soak.never.set", "",
       "200 OK"},
      {"keyless path test", "GET", "/~cmd/path/?path=soak%2Fposted.txt", "",
       "Testing: soak/posted.txt"},
      {"unknown command", "GET", "/~cmd/nosuch", "", "404"},
      {"keyed without key", "GET", "/~cmd/set/soak.cmd/x", "", "403"},
      {"key file refused", "GET", "/vq.server.key", "", "403"},
      {"keyed set", "GET", "/~cmd/set/soak.cmd/value?key=KEY", "",
       "soak.cmd=value"},
      {"keyed process", "POST", "/~cmd/process?key=KEY", document,
       "<vq><![CDATA[OK]]></vq>"},
  };
}

SoakAgent::SoakAgent() {
  char pattern[] = "/tmp/vqsoak.XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  work_ = pattern;
  home_ = work_ + "/home";
  vq_testing::MakeDirs(home_);
  data_ = home_ + "/Library/Application Support/VqDemo/Quillmere";
  const std::string bundle = work_ + "/vqagent.app";
  std::filesystem::copy(VQ_BUNDLE_DIR, bundle,
                        std::filesystem::copy_options::recursive);
  WriteFile(work_ + "/pass.xml", kPassDocument);
  WriteFile(work_ + "/downloads/payload.bin", std::string(64 * 1024, 'p'));
  server_log_ = work_ + "/requests.log";

  const std::string port_file = work_ + "/server.url";
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{VQSERVE_PATH, "--key", VQ_DEMO_PRIVATE_KEY,
                               "--fixed", work_ + "/pass.xml", "--downloads",
                               work_ + "/downloads", "--log", server_log_,
                               "--port-file", port_file},
      std::vector<std::string>{}, work_ + "/vqserve");
  if (!WaitFor([&] { return PathExists(port_file); }, kStartDeadline)) {
    throw std::runtime_error("vqserve did not start");
  }
  const std::string url = ReadFile(port_file);
  WriteFile(bundle + "/Contents/MacOS/initial_data/vqconnect.xml",
            "<vqconnect version=\"1.0\"><server>" +
                url.substr(0, url.find('\n')) + "</server></vqconnect>");

  agent_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{bundle + "/Contents/MacOS/vqagent"},
      std::vector<std::string>{"HOME=" + home_,
                               "XDG_CONFIG_HOME=" + home_ + "/.config"},
      work_ + "/agent");
  const std::string key_file = data_ + "/vq.server.key";
  if (!WaitFor([&] { return ReadIfThere(key_file).size() == 25; },
               kStartDeadline)) {
    throw std::runtime_error("the agent's command server did not start");
  }
  key_ = ReadFile(key_file);
  sscanf(ReadFile(data_ + "/vq.server").c_str(), "127.0.0.1:%d", &port_);
  WaitForPasses(1);
  WaitForIdle();
  // The variable the keyless read asks for exists before the first read.
  SetVariable("soak.cmd", "value");
}

SoakAgent::~SoakAgent() {
  // Each child gets the chance to end on its own before it is killed.
  for (ChildProcess* child : {agent_.get(), server_.get()}) {
    if (child) child->Signal(SIGTERM), child->Wait();
  }
  agent_.reset();
  server_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(work_, ignored);
}

MemorySample SoakAgent::Sample() const {
  const std::string proc = "/proc/" + std::to_string(agent_->pid());
  MemorySample sample;
  sample.resident_kib = KibAfter(ReadIfThere(proc + "/status"), "VmRSS:");
  sample.anonymous_kib =
      KibAfter(ReadIfThere(proc + "/smaps_rollup"), "Anonymous:");
  return sample;
}

long SoakAgent::PassesServed() {
  // vqserve writes one line per request; only the update page counts.
  std::ifstream log(server_log_);
  log.seekg(log_offset_);
  for (std::string line; std::getline(log, line);) {
    if (log.eof()) break;  // a line still being written: read it next time
    log_offset_ += static_cast<long>(line.size()) + 1;
    if (line.find("\"page\":\"vq.php\"") != std::string::npos) ++passes_;
  }
  return passes_;
}

void SoakAgent::WaitForPasses(long count) {
  long seen = PassesServed();
  auto last_progress = std::chrono::steady_clock::now();
  while (seen < count) {
    if (!agent_->Running()) throw std::runtime_error("the agent ended");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long now_seen = PassesServed();
    if (now_seen != seen) {
      seen = now_seen;
      last_progress = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - last_progress >
               kPassDeadline) {
      throw std::runtime_error("the update passes stalled after " +
                               std::to_string(seen));
    }
  }
}

void SoakAgent::WaitForIdle() {
  // A pass is done when its error report has been answered as well; wait
  // until the request log has been quiet for half a second.
  long size = -1;
  auto quiet_since = std::chrono::steady_clock::now();
  const auto deadline = quiet_since + kPassDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    const long now_size =
        static_cast<long>(std::filesystem::file_size(server_log_, error));
    if (now_size != size) {
      size = now_size;
      quiet_since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - quiet_since >
               std::chrono::milliseconds(500)) {
      PassesServed();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("the agent did not become idle");
}

Growth SoakAgent::RunPasses(long count) {
  Growth growth;
  growth.what = "update passes";
  growth.at_start = Sample();
  const long start = PassesServed();
  if (count > 0) {
    SetVariable("debug.refresh", kFastRefresh);
    Http("GET", "/~cmd/wake");
    WaitForPasses(start + count);
    // Back to the document's interval; the pass under way finishes first.
    SetVariable("debug.refresh", "0");
    WaitForIdle();
  }
  growth.at_end = Sample();
  growth.units = PassesServed() - start;
  return growth;
}

Growth SoakAgent::RunRequests(const RequestKind& kind, long count) {
  Growth growth;
  growth.what = kind.name;
  growth.at_start = Sample();
  for (long i = 0; i < count; ++i) SendRequest(kind);
  growth.at_end = Sample();
  growth.units = count;
  return growth;
}

std::string SoakAgent::LogTail() const {
  const std::string log = ReadIfThere(data_ + "/vq.log");
  return log.size() > 4000 ? log.substr(log.size() - 4000) : log;
}

std::string SoakAgent::WithKey(const std::string& target) const {
  std::string result = target;
  const std::size_t at = result.find("KEY");
  if (at != std::string::npos) result.replace(at, 3, key_);
  return result;
}

void SoakAgent::SendRequest(const RequestKind& kind) const {
  const std::string reply =
      Http(kind.method, WithKey(kind.target), kind.body);
  if (reply.find(kind.expected_reply_part) == std::string::npos) {
    throw std::runtime_error("unexpected reply to " + kind.name + ": " +
                             reply.substr(0, 300));
  }
}

void SoakAgent::SetVariable(const std::string& name,
                            const std::string& value) const {
  const std::string reply =
      Http("GET", WithKey("/~cmd/set/" + name + "/" + value + "?key=KEY"));
  if (reply.find(name + "=" + value) == std::string::npos) {
    throw std::runtime_error("could not set " + name + ": " +
                             reply.substr(0, 300));
  }
}

std::string SoakAgent::Http(const std::string& method,
                            const std::string& target,
                            const std::string& body) const {
  const std::string request =
      method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
      std::to_string(port_) + "\r\nConnection: close\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  return vq_testing::LoopbackExchange(port_, request);
}

}  // namespace vq_soak
