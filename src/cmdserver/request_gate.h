#ifndef VQ_CMDSERVER_REQUEST_GATE_H_
#define VQ_CMDSERVER_REQUEST_GATE_H_

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace cmdserver {

// Counts the requests being handled so that stopping can wait for them: a
// handler that is running when the server stops still writes its whole
// reply (the library drops every write once it is stopping), and no
// request starts after closing has begun.
class RequestGate {
 public:
  // True when the request may run; it must then call leave() when done.
  // False once close() has begun.
  bool enter();
  void leave();
  // Refuses new requests, then waits until every admitted one has left.
  void close();

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t running_ = 0;
  bool closed_ = false;
};

// Admits one request through a gate for the life of the object.
class GatePass {
 public:
  explicit GatePass(RequestGate& gate) : gate_(gate), admitted_(gate.enter()) {}
  ~GatePass() {
    if (admitted_) gate_.leave();
  }
  GatePass(const GatePass&) = delete;
  GatePass& operator=(const GatePass&) = delete;

  bool admitted() const { return admitted_; }

 private:
  RequestGate& gate_;
  const bool admitted_;
};

}  // namespace cmdserver

#endif  // VQ_CMDSERVER_REQUEST_GATE_H_
