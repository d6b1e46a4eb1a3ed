#include "manager/platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "manager/config/switches.h"
#include "manager_env.h"
#include "support/test_env.h"

namespace {

using tessary::SingleInstance;

class SingleInstanceTest : public managertest::ManagerTest {};

TEST_F(SingleInstanceTest, ASecondInstanceHandsItsSwitchesToTheFirst) {
  SingleInstance first(runtime);
  ASSERT_TRUE(first.Acquire());
  EXPECT_GE(first.listenDescriptor(), 0);
  SingleInstance second(runtime);
  ASSERT_FALSE(second.Acquire());
  EXPECT_EQ(second.HandOver({"quit"}), 0);
  EXPECT_EQ(second.HandOver({}), 0);
  const std::vector<std::vector<std::string>> got = first.Receive(2000);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(tessary::SwitchesFromNames(got[0]).Commands(), std::vector<int>{tessary::kCmdQuit});
  EXPECT_FALSE(tessary::SwitchesFromNames(got[1]).Any());  // only brings the window to the front
  EXPECT_TRUE(first.Receive(0).empty());
}

TEST_F(SingleInstanceTest, TheLockGoesWithTheFirstInstanceAndAStaleSocketIsReplaced) {
  {
    SingleInstance first(runtime);
    ASSERT_TRUE(first.Acquire());
  }
  testenv::WriteFile(runtime / "TessaryMutex", "left by a crash");
  SingleInstance next(runtime);
  ASSERT_TRUE(next.Acquire());
  SingleInstance other(runtime);
  ASSERT_FALSE(other.Acquire());
  EXPECT_EQ(other.HandOver({"start", "browse"}), 0);
  const auto got = next.Receive(2000);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(tessary::SwitchesFromNames(got[0]).Commands(),
            (std::vector<int>{tessary::kCmdStart, tessary::kCmdBrowse}));
}

TEST_F(SingleInstanceTest, ForeignOrBrokenMessagesAreDroppedWithoutBlocking) {
  SingleInstance first(runtime);
  ASSERT_TRUE(first.Acquire());
  // A client that connects, writes something that is not a hand-over and stays.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string path = first.socketPath().string();
  std::copy(path.begin(), path.end(), addr.sun_path);
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::send(fd, "GET / HTTP/1.0\n", 15, 0), 15);
  EXPECT_TRUE(first.Receive(2000).empty());
  ::close(fd);
}

TEST_F(SingleInstanceTest, AFolderOthersMayWriteIsNotTrustedAndTheManagerStillRuns) {
  ::chmod(runtime.c_str(), 0777);
  SingleInstance first(runtime);
  EXPECT_TRUE(first.Acquire());
  EXPECT_EQ(first.listenDescriptor(), -1);
  EXPECT_NE(first.message(), "");
}

}  // namespace
