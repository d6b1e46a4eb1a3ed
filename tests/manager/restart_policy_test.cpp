// The limit on restarting a crashed server, on given instants.
#include "manager/servers/restart_policy.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::seconds;
using tessary::CrashRestartPolicy;

TEST(CrashRestartPolicyTest, AtMostThreeRestartsWithinSixtySeconds) {
  CrashRestartPolicy policy;
  const auto t0 = CrashRestartPolicy::Clock::time_point{} + seconds(1000);
  EXPECT_TRUE(policy.Allow(t0));
  EXPECT_TRUE(policy.Allow(t0 + seconds(10)));
  EXPECT_TRUE(policy.Allow(t0 + seconds(20)));
  EXPECT_EQ(policy.Recent(), 3);
  EXPECT_FALSE(policy.Allow(t0 + seconds(59)));  // the fourth within a minute of the first
  EXPECT_EQ(policy.Recent(), 3);                 // a refusal is not counted
  // Once the first has left the window, one more is allowed, and no more.
  EXPECT_TRUE(policy.Allow(t0 + seconds(60)));
  EXPECT_FALSE(policy.Allow(t0 + seconds(69)));
  EXPECT_TRUE(policy.Allow(t0 + seconds(70)));
  // A quiet minute and a half forgets every restart.
  EXPECT_TRUE(policy.Allow(t0 + seconds(200)));
  EXPECT_EQ(policy.Recent(), 1);
}

}  // namespace
