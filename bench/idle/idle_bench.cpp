// Runs the agent (a copy of the built bundle, fresh HOME) against vqserve on
// 127.0.0.1, waits for its first update, then measures over an idle period:
// the CPU ticks it consumed, its resident and proportional memory (PSS, from
// /proc/PID/smaps_rollup) and its thread count.
//
//   idle_bench [SECONDS]   (default 60)

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

pid_t spawn(std::vector<std::string> argv, const std::string& home) {
  std::vector<char*> raw;
  for (std::string& arg : argv) raw.push_back(&arg[0]);
  raw.push_back(nullptr);
  if (!home.empty()) {
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// utime + stime of `pid`, in clock ticks.
long cpuTicks(pid_t pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = atol(field.c_str());
    if (i == 15) { stime = atol(field.c_str()); break; }
  }
  return utime + stime;
}

long residentKiB(pid_t pid) {
  std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
  }
  return -1;
}

// A "Name:   N kB" field of a /proc file of `pid`, in KiB; -1 when absent.
long procFieldKiB(pid_t pid, const char* file, const std::string& name) {
  std::istringstream text(readFile("/proc/" + std::to_string(pid) + "/" + file));
  for (std::string line; std::getline(text, line);) {
    if (line.rfind(name + ":", 0) == 0) return atol(line.c_str() + name.size() + 1);
  }
  return -1;
}

long proportionalKiB(pid_t pid) { return procFieldKiB(pid, "smaps_rollup", "Pss"); }

long threadCount(pid_t pid) { return procFieldKiB(pid, "status", "Threads"); }

bool waitFor(const std::function<bool()>& done, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? atoi(argv[1]) : 60;
  char pattern[] = "/tmp/vqidle.XXXXXX";
  const std::string work = mkdtemp(pattern);
  const std::string home = work + "/home";
  fs::create_directories(home);
  const std::string bundle = work + "/vqagent.app";
  fs::copy(VQ_BUNDLE_DIR, bundle, fs::copy_options::recursive);

  const pid_t server = spawn({VQSERVE_PATH, "--listen", "127.0.0.1:0", "--key",
                              VQ_DEMO_PRIVATE_KEY, "--port-file",
                              work + "/url"}, "");
  if (server < 0 || !waitFor([&] { return fs::exists(work + "/url"); }, 10)) {
    std::cerr << "vqserve did not start\n";
    return 1;
  }
  std::string url = readFile(work + "/url");
  url = url.substr(0, url.find('\n'));
  std::ofstream(bundle + "/Contents/MacOS/initial_data/vqconnect.xml")
      << "<vqconnect version=\"1.0\"><server>" << url << "</server></vqconnect>";

  const pid_t agent = spawn({bundle + "/Contents/MacOS/vqagent"}, home);
  const std::string data = home + "/Library/Application Support/VqDemo/Quillmere";
  const bool updated = waitFor([&] {
    return readFile(data + "/vq.log").find("timediff :") != std::string::npos &&
           fs::exists(data + "/vq.server.key");
  }, 30);
  int rc = 0;
  if (!updated) {
    std::cerr << "the agent did not finish its first update\n";
    rc = 1;
  } else {
    // Let the start-up settle, then measure.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long ticksBefore = cpuTicks(agent);
    const long rssBefore = residentKiB(agent);
    const long pssBefore = proportionalKiB(agent);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long ticks = cpuTicks(agent) - ticksBefore;
    const long rss = residentKiB(agent);
    const long pss = proportionalKiB(agent);
    printf("idle period:          %d s (no update due: the next is in 600 s)\n", seconds);
    printf("CPU ticks consumed:   %ld (clock ticks of %ld Hz)\n", ticks, sysconf(_SC_CLK_TCK));
    printf("resident memory:      %.2f MiB after the first update, %.2f MiB at the end\n",
           rssBefore / 1024.0, rss / 1024.0);
    printf("proportional memory:  %.2f MiB after the first update, %.2f MiB at the end (PSS)\n",
           pssBefore / 1024.0, pss / 1024.0);
    printf("threads:              %ld\n", threadCount(agent));
    printf("goal:                 0 ticks, at most 6 MiB resident\n");
  }
  kill(agent, SIGTERM);
  kill(server, SIGTERM);
  int status = 0;
  waitpid(agent, &status, 0);
  waitpid(server, nullptr, 0);
  fs::remove_all(work);
  return rc;
}
