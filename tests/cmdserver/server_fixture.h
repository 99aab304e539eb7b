#ifndef VQ_TESTS_CMDSERVER_SERVER_FIXTURE_H_
#define VQ_TESTS_CMDSERVER_SERVER_FIXTURE_H_

#include <apr_general.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "cmdserver/fake_command_target.h"
#include "cmdserver/mongoose.h"
#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace cmdserver_testing {

// Sends `request` as is to 127.0.0.1:`port` and returns every byte of the
// answer up to the server's close (at most 10 s); "" without a connection.
std::string Exchange(unsigned short port, const std::string& request);

// Everything after the first blank line of a raw answer.
std::string BodyOf(const std::string& answer);

// The exact head of a 200 reply of the given content type.
std::string OkHead(const std::string& type);

// A running server (from port 8080 up) over a fake application whose data
// directory is a fresh temporary directory.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A GET of `target` with the given Host header.
  std::string Get(const std::string& target,
                  const std::string& host = "127.0.0.1");
  std::string Post(const std::string& target, const std::string& body);
  // `target` with the server's key added as the "key" parameter.
  std::string Keyed(const std::string& target) const;

  vq_testing::ScopedTempDir dir_;
  std::unique_ptr<apr::Pool> pool_;
  std::unique_ptr<FakeCommandTarget> target_;
  std::unique_ptr<Mongoose> server_;
  unsigned short port_ = 0;
};

}  // namespace cmdserver_testing

#endif  // VQ_TESTS_CMDSERVER_SERVER_FIXTURE_H_
