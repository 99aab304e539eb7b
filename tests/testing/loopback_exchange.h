#ifndef VQ_TESTS_TESTING_LOOPBACK_EXCHANGE_H_
#define VQ_TESTS_TESTING_LOOPBACK_EXCHANGE_H_

#include <chrono>
#include <string>

namespace vq_testing {

// Sends `request` as is to 127.0.0.1:`port` and returns every byte of the
// answer up to the server's close, each read waiting at most `timeout`; ""
// without a connection. The socket is closed with a reset once the answer is
// in, so that thousands of exchanges leave no sockets in TIME_WAIT.
std::string LoopbackExchange(
    int port, const std::string& request,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace vq_testing

#endif  // VQ_TESTS_TESTING_LOOPBACK_EXCHANGE_H_
