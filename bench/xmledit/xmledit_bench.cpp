// Edits a 10 MB file of 100,000 "item" elements twice: once through the
// agent's xmledit action (a whole transaction, as a server document would
// run it) and once with "xmlstarlet ed". Both set an attribute on the items
// selected by an attribute value and delete another subset. Each runs in a
// child process so that its peak resident memory can be read on its own.
// Each runs kRounds times, alternating, on a fresh copy of the input; the
// best wall and CPU times are printed, which shields the figures from other
// load on the machine.
//
// Usage: xmledit_bench [xmlstarlet-executable]

#include <apr_general.h>
#include <apr_pools.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/thread_external_interface.h"
#include "lifecycle/vq_application.h"
#include "response/vq_response_processor.h"
#include "transact/transactional_external_interface.h"

namespace {

constexpr int kItems = 100000;
constexpr int kRounds = 3;

// Only what a transaction of file operations calls.
class BenchExternal : public ThreadExternalInterface,
                      public TransactionalExternalInterface {
 public:
  TransactionalExternalInterface* getTransactionalExternalInterface() override {
    return this;
  }
  void flushLog() override {}
  bool shouldQuit() override { return false; }
  const char* getBuild() override { return ""; }
  std::vector<std::string>& getDefaultServers() override { return servers_; }
  void getAllServers(std::vector<std::string>& out) override { out.clear(); }
  long getFeedId() override { return 0; }
  long getAppId() override { return 0; }
  const char* getMachineId() override { return ""; }
  const char* getPlatform() override { return ""; }
  const char* getOS() override { return ""; }
  void threadInit(VqThread*) override {}
  void threadQuit(VqThread*) override {}
  void terminate() override {}
  int launchProcess(std::string&, std::vector<std::string>&) override {
    return 0;
  }
  void setQuit() override {}
  void setUpgrade() override {}
  void setVariable(const std::string&, const std::string&) override {}

 private:
  std::vector<std::string> servers_;
};

void writeInput(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\"?>\n<catalog>\n";
  const char* states[] = {"new", "old", "used"};
  for (int i = 0; i < kItems; ++i) {
    out << "  <item id=\"" << i << "\" group=\"g" << i % 10 << "\" state=\""
        << states[(i * 7) % 3] << "\">Item number " << i
        << " with some descriptive text here.....</item>\n";
  }
  out << "</catalog>\n";
}

void runOurs(const std::string& file) {
  apr_initialize();
  apr_pool_t* pool = nullptr;
  apr_pool_create(&pool, nullptr);
  BenchExternal external;
  const std::string document =
      "<vq version='2'><transaction><xmledit filename='" + file + "'>"
      "<setAttribute rpn=\"/catalog/item[@group 'g3' =]\" name='state' "
      "value='sold'/>"
      "<delete rpn=\"/catalog/item[@group 'g7' =]\"/>"
      "</xmledit></transaction></vq>";
  TiXmlDocument parsed;
  parsed.Parse(document.c_str());
  VqResponseProcessor processor(pool, &external, "bench");
  processor.processTransactions(parsed.RootElement(), nullptr);
  apr_pool_destroy(pool);
  apr_terminate();
}

struct Run {
  double seconds = 0;     // wall clock
  double cpuSeconds = 0;  // user + system
  long peakKb = 0;
  bool ok = false;

  // Keeps the best times and the largest peak of two runs.
  void merge(const Run& other) {
    if (seconds == 0 || other.seconds < seconds) seconds = other.seconds;
    if (cpuSeconds == 0 || other.cpuSeconds < cpuSeconds) {
      cpuSeconds = other.cpuSeconds;
    }
    peakKb = std::max(peakKb, other.peakKb);
  }
};

// Runs `child` in a forked process; returns its wall time and peak RSS.
template <typename Child>
Run measure(Child child) {
  Run run;
  std::fflush(stdout);  // the child must not print the parent's buffer again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    child();
    _exit(0);
  }
  int status = 0;
  struct rusage usage = {};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakKb = usage.ru_maxrss;
    run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  run.seconds = std::chrono::duration<double>(
                    std::chrono::steady_clock::now() - start)
                    .count();
  return run;
}

int countItems(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  int count = 0;
  for (size_t at = s.find("<item"); at != std::string::npos;
       at = s.find("<item", at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string xmlstarlet = argc > 1 ? argv[1] : "xmlstarlet";
  char dirTemplate[] = "/tmp/xmledit_bench.XXXXXX";
  if (!mkdtemp(dirTemplate)) return 1;
  const std::string dir = dirTemplate;
  const std::string ours = dir + "/ours.xml";
  const std::string theirs = dir + "/theirs.xml";
  const std::string theirsOut = dir + "/theirs.out.xml";
  // The transaction journal goes to the working directory.
  if (chdir(dir.c_str()) != 0) return 1;
  Run our;
  Run their;
  bool allOk = true;
  for (int round = 0; round < kRounds; ++round) {
    writeInput(ours);
    writeInput(theirs);
    const Run o = measure([&] { runOurs(ours); });
    const Run t = measure([&] {
      if (!freopen(theirsOut.c_str(), "w", stdout)) _exit(2);
      execlp(xmlstarlet.c_str(), xmlstarlet.c_str(), "ed", "-u",
             "/catalog/item[@group='g3']/@state", "-v", "sold", "-d",
             "/catalog/item[@group='g7']", theirs.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    });
    allOk = allOk && o.ok && t.ok;
    our.merge(o);
    their.merge(t);
  }
  std::printf("input: %d items, %ld bytes; best of %d rounds\n", kItems,
              static_cast<long>(std::ifstream(theirs, std::ios::ate).tellg()),
              kRounds);
  std::printf("xmledit:    %.3f s wall, %.3f s cpu, peak %ld KB, %d items left\n",
              our.seconds, our.cpuSeconds, our.peakKb, countItems(ours));
  std::printf("xmlstarlet: %.3f s wall, %.3f s cpu, peak %ld KB, %d items left\n",
              their.seconds, their.cpuSeconds, their.peakKb,
              countItems(theirsOut));
  if (their.seconds > 0 && their.cpuSeconds > 0 && their.peakKb > 0) {
    std::printf("time ratio (xmledit/xmlstarlet): %.2f wall, %.2f cpu\n",
                our.seconds / their.seconds,
                our.cpuSeconds / their.cpuSeconds);
    std::printf("memory ratio (xmledit/xmlstarlet): %.2f\n",
                static_cast<double>(our.peakKb) / their.peakKb);
  }
  if (!allOk) std::printf("FAILED: a run did not complete\n");
  std::remove(ours.c_str());
  std::remove(theirs.c_str());
  std::remove(theirsOut.c_str());
  rmdir(dir.c_str());
  return allOk ? 0 : 1;
}
