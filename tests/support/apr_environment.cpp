// Every support test runs with APR initialised once for the whole binary.
#include <apr_general.h>
#include <gtest/gtest.h>

namespace {

class AprEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(APR_SUCCESS, apr_initialize()); }
  void TearDown() override { apr_terminate(); }
};

const ::testing::Environment* const kAprEnvironment =
    ::testing::AddGlobalTestEnvironment(new AprEnvironment);

}  // namespace
