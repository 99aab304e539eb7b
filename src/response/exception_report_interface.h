#ifndef VQ_RESPONSE_EXCEPTION_REPORT_INTERFACE_H_
#define VQ_RESPONSE_EXCEPTION_REPORT_INTERFACE_H_

class VqException;

// Where the response processor hands a VqException that abandoned a
// transaction, so that the servers hear about it. The error reporter of the
// update engine implements it; the processor never depends on the engine.
//
// report() is called on the thread that runs the processor, after the
// failed transaction has been cleaned up and its lock released, so an
// implementation may itself process an action document. It must not throw
// for failures it can handle (they end in its log).
class ExceptionReportInterface {
 public:
  virtual ~ExceptionReportInterface() = default;
  virtual void report(VqException& e) = 0;
};

#endif  // VQ_RESPONSE_EXCEPTION_REPORT_INTERFACE_H_
