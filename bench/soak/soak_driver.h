#ifndef VQ_BENCH_SOAK_SOAK_DRIVER_H_
#define VQ_BENCH_SOAK_SOAK_DRIVER_H_

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

// Drives the real agent (a copy of the built bundle with its own HOME)
// against vqserve, both on 127.0.0.1, for a long-running memory check: update
// passes and command-server requests, with the agent's memory sampled from
// /proc between them.
//
// Every pass runs the same signed document: it sets a variable, writes a
// file, downloads a file (deleted again by a second transaction, so that the
// next pass downloads it again) and raises an error action, whose report goes
// to the error page. The passes follow each other at the agent's fastest
// test interval, "debug.refresh" = 1 (a tenth of a second), which the driver
// sets through the command server; between phases the document's own
// interval (an hour) keeps the agent idle.

namespace vq_testing {
class ChildProcess;
}  // namespace vq_testing

namespace vq_soak {

// The agent's memory at one moment, in KiB.
struct MemorySample {
  long resident_kib = 0;   // VmRSS
  long anonymous_kib = 0;  // "Anonymous:" of smaps_rollup
};

// A measured stretch: the memory at its start and at its end, both sampled
// while the agent was idle, and how many units (passes or requests) ran in
// between.
struct Growth {
  std::string what;
  long units = 0;
  MemorySample at_start;
  MemorySample at_end;
  long AnonymousGrowthKib() const {
    return at_end.anonymous_kib - at_start.anonymous_kib;
  }
  // Growth per unit, in bytes (0 when no unit ran).
  double AnonymousBytesPerUnit() const;
  double ResidentBytesPerUnit() const;
};

// One kind of command-server request: a raw HTTP request (with "KEY" in the
// target replaced by the access key) and a text its reply must contain.
struct RequestKind {
  std::string name;
  std::string method;
  std::string target;
  std::string body;
  std::string expected_reply_part;
};

// The kinds the soak sends: keyless and keyed commands, refusals, unknown
// commands and submitted documents.
std::vector<RequestKind> DefaultRequestKinds();

class SoakAgent {
 public:
  // Lays out a temporary installation and starts vqserve and the agent.
  // Throws std::runtime_error when either does not come up or the first
  // update does not finish.
  SoakAgent();
  // Stops both (SIGTERM, then SIGKILL after a deadline) and removes the
  // temporary folder.
  ~SoakAgent();

  SoakAgent(const SoakAgent&) = delete;
  SoakAgent& operator=(const SoakAgent&) = delete;

  MemorySample Sample() const;
  // Update passes the server has answered so far.
  long PassesServed();

  // Runs `count` update passes at the fastest interval, then lets the agent
  // fall idle; returns the memory before and after. Throws
  // std::runtime_error when the passes stall.
  Growth RunPasses(long count);
  // Sends `count` requests of one kind; returns the memory before and after.
  // Throws std::runtime_error when a reply lacks its expected part.
  Growth RunRequests(const RequestKind& kind, long count);

  // The last lines of the agent's log, for a failure message.
  std::string LogTail() const;

 private:
  // One request to the command server; the whole reply.
  std::string Http(const std::string& method, const std::string& target,
                   const std::string& body = "") const;
  std::string WithKey(const std::string& target) const;
  void SendRequest(const RequestKind& kind) const;
  void SetVariable(const std::string& name, const std::string& value) const;
  // Waits until the server has answered `count` passes in all.
  void WaitForPasses(long count);
  // Waits until no pass has been served for a little while.
  void WaitForIdle();

  std::string work_;
  std::string home_;
  std::string data_;
  std::string server_log_;
  std::unique_ptr<vq_testing::ChildProcess> server_;
  std::unique_ptr<vq_testing::ChildProcess> agent_;
  int port_ = 0;
  std::string key_;
  // Read position in, and pass count of, vqserve's request log.
  long log_offset_ = 0;
  long passes_ = 0;
};

}  // namespace vq_soak

#endif  // VQ_BENCH_SOAK_SOAK_DRIVER_H_
