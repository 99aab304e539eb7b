// Time per answer of the freshness checks, with the compiled-in keys: the
// first signature (RSA over SHA-1 of the body), the second (RSA over SHA-256
// of the nonce-bound message), and the whole freshness decision (second
// signature, expiry, pin list read and kept) as the response processor runs
// it. The answer is a typical 4 KiB document. Built with the demo key, whose
// private half signs here.
//
// Usage: bench_freshness [answers, default 20000]

#include <apr_general.h>
#include <log4cpp/Category.hh>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "response/answer_freshness.h"
#include "response/server_pins.h"
#include "support/apr_pool.h"
#include "testing/scoped_temp_dir.h"
#include "vqsign/answer_signing.h"
#include "vqsign/rsa_signer.h"
#include "web/answer_protocol.h"
#include "web/ssl_crypto.h"

namespace {

using Clock = std::chrono::steady_clock;

// Microseconds per call of `work`, over `count` calls; aborts when a call
// returns false, so a figure is never taken of a check that failed.
double MicrosPer(long count, const std::function<bool()>& work) {
  const Clock::time_point start = Clock::now();
  for (long i = 0; i < count; ++i) {
    if (!work()) {
      std::fprintf(stderr, "a check failed\n");
      std::exit(1);
    }
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start)
             .count() / static_cast<double>(count);
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 20000;
  apr_initialize();
  {
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::WARN);
    apr::Pool pool;
    std::string error;
    const auto signer =
        vqtools::RsaSigner::fromPemFile(VQ_BENCH_PRIVATE_KEY, &error);
    if (!signer) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    const std::string nonce = "0123456789abcdef0123456789abcdef";
    std::string body = "<vq version=\"2.0\" update=\"600\" expires=\"" +
                       vq_answer::formatExpiry(std::time(nullptr) + 3600) +
                       "\"><transaction>";
    while (body.size() < 4096) body += "<set name=\"some.variable\" value=\"x\"/>";
    body += "</transaction></vq>";
    const std::string sig1 = signer->signBase64(body);
    const std::string sig2 = vqtools::secondSignature(*signer, nonce, body);

    vq_testing::ScopedTempDir dir;
    std::filesystem::current_path(dir.path());
    FreshnessExpectation expectation;
    expectation.nonce = nonce;
    expectation.pinFile = ServerPins::kFileName;
    log4cpp::Category& logger = log4cpp::Category::getInstance("bench");
    const std::string url = "http://127.0.0.1:8731/vq.php";

    // A pass that is not timed: parses the compiled-in keys once.
    ssl_checkClientSignedHeader(body.data(), body.size(), sig1.c_str(), pool);
    const double first = MicrosPer(count, [&] {
      return ssl_checkClientSignedHeader(body.data(), body.size(),
                                         sig1.c_str(), pool);
    });
    const double second = MicrosPer(count, [&] {
      return ssl_checkClientSecondSignature(nonce, body.data(), body.size(),
                                            sig2.c_str(), pool);
    });
    const std::string expires = vq_answer::formatExpiry(std::time(nullptr) + 3600);
    const double whole = MicrosPer(count, [&] {
      checkAnswerFreshness(expectation, url, body, expires.c_str(),
                           sig2.c_str(), std::time(nullptr), pool, logger);
      return true;
    });
    std::printf("answers: %ld of %zu bytes\n", count, body.size());
    std::printf("first signature (SHA-1):     %8.1f us/answer\n", first);
    std::printf("second signature (SHA-256):  %8.1f us/answer\n", second);
    std::printf("whole freshness check:       %8.1f us/answer "
                "(second signature, expiry, pin list)\n", whole);
    std::printf("ratio freshness/first:       %8.2f\n", whole / first);
    std::filesystem::current_path("/");
  }
  apr_terminate();
  return 0;
}
