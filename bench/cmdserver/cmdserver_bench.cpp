// Serves "/~cmd/info/app.name" from the command server and from a bare
// civetweb handler that answers the same bytes the same way (no
// Content-Length, so every connection closes), loads both with wrk (16
// connections) in the same run, and prints requests per second, p99 latency
// and the ratio of the two. Then sends 10,000 keyless requests for variables
// of new names, one connection each, and prints how much the process's
// proportional memory (PSS) and the variable map grew.
//
// Usage: bench_cmdserver [seconds per run, default 5] [rounds, default 2]

#include <apr_general.h>
#include <arpa/inet.h>
#include <civetweb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/application_variables.h"
#include "cmdserver/command_target.h"
#include "cmdserver/mongoose.h"
#include "support/apr_pool.h"

namespace {

const char kReply[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
    "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\nDemo";
const char kPath[] = "/~cmd/info/app.name";

// Just enough application for the info command, over the agent's own
// process-wide variables.
class BenchTarget : public CommandTarget {
 public:
  explicit BenchTarget(const std::string& dataDir) {
    ApplicationVariables::set(ApplicationVariables::DIR_DATA, dataDir);
    ApplicationVariables::set(ApplicationVariables::APP_NAME, "Demo");
  }
  std::string applicationXml() const override { return "<application/>"; }
  void updateNow() override {}
  void setQuit(bool) override {}
  std::string getEnv(const std::string& name) override {
    return ApplicationVariables::get(name.c_str());
  }
  void setEnv(const std::string& name, const std::string& value) override {
    ApplicationVariables::set(name.c_str(), value);
  }
  std::map<std::string, std::string> getEnvMap() override {
    return ApplicationVariables::getMap();
  }
  std::string pathInDataDir(const std::string&) override { return ""; }
  void processTransactions(const std::string&) override {}
  void setStartItem() override {}
  void launchSwf() override {}
  int launchProcess(std::string&, std::vector<std::string>&) override {
    return 0;
  }
};

int bareHandler(mg_connection* conn, void*) {
  mg_write(conn, kReply, sizeof(kReply) - 1);
  return 200;
}

struct Figures {
  double requestsPerSecond = 0;
  double p99Milliseconds = 0;
};

double toMilliseconds(const char* text) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (std::strncmp(end, "us", 2) == 0) return value / 1000.0;
  if (std::strncmp(end, "ms", 2) == 0) return value;
  if (std::strncmp(end, "s", 1) == 0) return value * 1000.0;
  return value;
}

Figures runWrk(unsigned short port, int seconds) {
  const std::string command =
      "wrk -t2 -c16 -d" + std::to_string(seconds) +
      "s --latency http://127.0.0.1:" + std::to_string(port) + kPath;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run wrk");
  Figures figures;
  char line[512];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    if (std::strncmp(line, "Requests/sec:", 13) == 0) {
      figures.requestsPerSecond = std::strtod(line + 13, nullptr);
    }
    const char* p99 = std::strstr(line, "99%");
    if (p99 != nullptr && figures.p99Milliseconds == 0) {
      figures.p99Milliseconds = toMilliseconds(p99 + 3 + std::strspn(p99 + 3, " \t"));
    }
  }
  if (pclose(pipe) != 0 || figures.requestsPerSecond == 0) {
    throw std::runtime_error("wrk failed: " + command);
  }
  return figures;
}

// This process's proportional set size, in KiB.
long proportionalKiB() {
  std::ifstream rollup("/proc/self/smaps_rollup");
  for (std::string line; std::getline(rollup, line);) {
    if (line.rfind("Pss:", 0) == 0) return std::atol(line.c_str() + 4);
  }
  return -1;
}

// One keyless request on a fresh connection; the answer is read to the end.
void requestOnce(unsigned short port, const std::string& target) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
      char buffer[1024];
      while (recv(fd, buffer, sizeof(buffer), 0) > 0) {
      }
    }
  }
  close(fd);
}

void floodNewNames(unsigned short port, BenchTarget& target) {
  constexpr int kRequests = 10000;
  const std::size_t variablesBefore = target.getEnvMap().size();
  const long before = proportionalKiB();
  for (int i = 0; i < kRequests; ++i) {
    requestOnce(port, "/~cmd/info/new.name." + std::to_string(i));
  }
  const long after = proportionalKiB();
  std::printf("after %d keyless requests of new names: PSS %+.2f MiB "
              "(%.2f -> %.2f MiB), variables %zu -> %zu (goal: < 1 MiB)\n",
              kRequests, (after - before) / 1024.0, before / 1024.0,
              after / 1024.0, variablesBefore, target.getEnvMap().size());
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
  apr_initialize();
  int status = 0;
  char dirTemplate[] = "/tmp/bench_cmdserver.XXXXXX";
  if (mkdtemp(dirTemplate) == nullptr) return 1;
  try {
    apr::Pool pool;
    BenchTarget target(dirTemplate);
    Mongoose server(pool, &target, 18080);

    const unsigned short barePort =
        Mongoose::findOpenPort(server.port() + 1, 0, pool);
    const std::string ports = "127.0.0.1:" + std::to_string(barePort);
    const char* options[] = {"listening_ports", ports.c_str(), nullptr};
    mg_callbacks callbacks;
    std::memset(&callbacks, 0, sizeof(callbacks));
    mg_context* bare = mg_start(&callbacks, nullptr, options);
    if (bare == nullptr) throw std::runtime_error("bare civetweb did not start");
    mg_set_request_handler(bare, kPath, bareHandler, nullptr);

    Figures ours;
    Figures plain;
    for (int round = 0; round < rounds; ++round) {
      Figures b = runWrk(barePort, seconds);
      Figures o = runWrk(server.port(), seconds);
      std::printf("round %d: bare %.0f req/s p99 %.2f ms | command server %.0f "
                  "req/s p99 %.2f ms\n",
                  round + 1, b.requestsPerSecond, b.p99Milliseconds,
                  o.requestsPerSecond, o.p99Milliseconds);
      plain.requestsPerSecond += b.requestsPerSecond / rounds;
      plain.p99Milliseconds += b.p99Milliseconds / rounds;
      ours.requestsPerSecond += o.requestsPerSecond / rounds;
      ours.p99Milliseconds += o.p99Milliseconds / rounds;
    }
    mg_stop(bare);
    std::printf("bare civetweb handler: %.0f req/s, p99 %.2f ms\n",
                plain.requestsPerSecond, plain.p99Milliseconds);
    std::printf("command server:        %.0f req/s, p99 %.2f ms\n",
                ours.requestsPerSecond, ours.p99Milliseconds);
    std::printf("ratio (goal >= 0.80):  %.2f\n",
                ours.requestsPerSecond / plain.requestsPerSecond);
    floodNewNames(server.port(), target);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_cmdserver: %s\n", e.what());
    status = 1;
  } catch (const std::string& text) {
    std::fprintf(stderr, "bench_cmdserver: %s\n", text.c_str());
    status = 1;
  }
  rmdir(dirTemplate);
  apr_terminate();
  return status;
}
