// The single instance through the real program: a later launch hands its
// switches to the running one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "manager_env.h"

extern char** environ;

namespace {

class SingleInstanceTest : public managertest::ManagerTest {};

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

// Without a display the program prints the switch list and ends, rather than
// staying on as a first instance nobody asked for.
TEST_F(SingleInstanceTest, HelpWithoutADisplayPrintsTheListAndEnds) {
  setEnv("QT_QPA_PLATFORM", "");
  setEnv("DISPLAY", "");
  setEnv("WAYLAND_DISPLAY", "");
  const pid_t help = Launch({"-help"});
  ASSERT_GT(help, 0);
  EXPECT_EQ(WaitFor(help, std::chrono::seconds(10)), 0);
  EXPECT_FALSE(std::filesystem::exists(runtime / "TessaryMutex"));
}

}  // namespace
