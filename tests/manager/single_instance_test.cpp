#include "manager/platform/single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "manager/engine.h"
#include "manager_env.h"
#include "support/test_env.h"

extern char** environ;

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
  const std::vector<tessary::Switches> got = first.Receive(2000);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].Commands(), std::vector<int>{tessary::kCmdQuit});
  EXPECT_FALSE(got[1].Any());  // only brings the window to the front
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
  EXPECT_EQ(got[0].Commands(), (std::vector<int>{tessary::kCmdStart, tessary::kCmdBrowse}));
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

// The real program: a first launch keeps running until a second launch
// with "-quit" hands that switch over; the second one ends at once with 0.
pid_t Launch(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string program = TESSARY_PROGRAM;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int err = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  return err == 0 ? pid : -1;
}

// The exit status, or -1 when it has not ended within the time.
int WaitFor(pid_t pid, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

TEST_F(SingleInstanceTest, ASecondLaunchWithQuitEndsTheFirstProgram) {
  const pid_t first = Launch({});
  ASSERT_GT(first, 0);
  // The first has started once its socket is there.
  for (int i = 0; i < 250 && !std::filesystem::exists(runtime / "TessaryMutex"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(std::filesystem::exists(runtime / "TessaryMutex"));
  const pid_t plain = Launch({});
  ASSERT_GT(plain, 0);
  EXPECT_EQ(WaitFor(plain, std::chrono::seconds(10)), 0);
  int status = 0;
  EXPECT_EQ(::waitpid(first, &status, WNOHANG), 0);  // a plain second launch leaves it running
  const pid_t second = Launch({"-QUIT"});
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitFor(second, std::chrono::seconds(10)), 0);
  EXPECT_EQ(WaitFor(first, std::chrono::seconds(10)), 0);
  EXPECT_FALSE(std::filesystem::exists(runtime / "TessaryMutex"));
  EXPECT_TRUE(std::filesystem::exists(root / "Tessary.ini"));  // settings saved at the end
}

}  // namespace
