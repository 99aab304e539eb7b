#include "host/reachability.h"

#include <gtest/gtest.h>

#include <string>

namespace host {
namespace {

// Only names that resolve from /etc/hosts or without any lookup are used,
// so no query ever leaves the machine.
TEST(ReachabilityTest, LoopbackNamesAndLiteralsAreReachable) {
  auto reachability = createReachability();
  EXPECT_EQ(HostReachability::kReachable, reachability->check("127.0.0.1"));
  EXPECT_EQ(HostReachability::kReachable, reachability->check("localhost"));
  EXPECT_EQ(HostReachability::kReachable, reachability->check("[::1]"));
}

TEST(ReachabilityTest, ReservedInvalidDomainIsUnreachable) {
  auto reachability = createReachability();
  EXPECT_EQ(HostReachability::kUnreachable,
            reachability->check("updates.invalid"));
  EXPECT_EQ(HostReachability::kUnreachable,
            reachability->check("A.B.INVALID."));
  EXPECT_EQ(HostReachability::kUnreachable, reachability->check("invalid"));
}

TEST(ReachabilityTest, NamesThatCannotBeLookedUpCannotBeChecked) {
  auto reachability = createReachability();
  EXPECT_EQ(HostReachability::kCannotCheck, reachability->check(""));
  EXPECT_EQ(HostReachability::kCannotCheck, reachability->check("[]"));
  EXPECT_EQ(HostReachability::kCannotCheck,
            reachability->check(std::string(300, 'a')));
  EXPECT_EQ(HostReachability::kCannotCheck, reachability->check("a b"));
  EXPECT_EQ(HostReachability::kCannotCheck,
            reachability->check(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace host
