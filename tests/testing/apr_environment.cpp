// Linked into every test executable: APR is initialised once before the
// first test and terminated after the last, so fixtures only create pools.
#include <apr_general.h>
#include <gtest/gtest.h>

namespace {

class AprEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(apr_initialize(), APR_SUCCESS); }
  void TearDown() override { apr_terminate(); }
};

const auto* const kAprEnvironment =
    ::testing::AddGlobalTestEnvironment(new AprEnvironment);

}  // namespace
