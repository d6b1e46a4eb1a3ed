// The runner of the web server and the service layer's daemons, on small
// shell programs.
#include "manager/servers/child_process.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "manager/platform/process.h"
#include "manager/platform/service.h"
#include "stack_fixture.h"

namespace {

using namespace stacktest;
using tessary::ChildProcess;
namespace platform = tessary::platform;

class Collector : public tessary::ChildOutput {
 public:
  void OnStart(const std::string& commandLine) override {
    std::lock_guard<std::mutex> lock(m);
    started = commandLine;
  }
  void OnStdout(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m);
    out += text;
  }
  void OnStderr(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m);
    err += text;
  }
  void OnExit() override {
    std::lock_guard<std::mutex> lock(m);
    ++exits;
  }
  std::string Out() {
    std::lock_guard<std::mutex> lock(m);
    return out;
  }
  std::mutex m;
  std::string started, out, err;
  int exits = 0;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto t0 = Clock::now();
  while (!done()) {
    if (MsSince(t0) > timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(ChildProcessTest, OutputOfBothStreamsIsReadToItsEnd) {
  Collector c;
  ChildProcess runner(&c);
  const std::string cmd = "/bin/sh -c \"echo one; echo two >&2; sleep 0.2; echo 'last words'\"";
  ASSERT_EQ(runner.StartChildProcess(cmd), 0);
  EXPECT_EQ(c.started, cmd);
  ASSERT_TRUE(
      WaitFor([&] { return !runner.IsActive() && c.Out().find("last words") != std::string::npos; }, 5000));
  runner.Stop();
  EXPECT_EQ(c.out, "one\nlast words\n");
  EXPECT_EQ(c.err, "two\n");
  EXPECT_EQ(c.exits, 1);
  EXPECT_EQ(WEXITSTATUS(runner.exitStatus()), 0);
}

TEST(ChildProcessTest, StopEndsAChildThatLivesOnAndItsGroup) {
  Collector c;
  ChildProcess runner(&c);
  ASSERT_EQ(runner.StartChildProcess("/bin/sh -c \"sleep 60 & sleep 60\""), 0);
  const pid_t child = runner.childPid();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(runner.IsActive());
  runner.Stop();
  EXPECT_FALSE(runner.IsActive());
  EXPECT_NE(platform::ProcessAlive(child), 0);
  for (const auto& e : platform::ListProcesses()) EXPECT_NE(e.ppid, child) << "a grandchild survived";
}

TEST(ChildProcessTest, AProgramThatCannotStartIsReported) {
  Collector c;
  ChildProcess runner(&c);
  EXPECT_NE(runner.StartChildProcess("/no/such/program -k start"), 0);
  EXPECT_EQ(c.out, "Unable to start /no/such/program -k start");
  EXPECT_FALSE(runner.IsActive());
  runner.Stop();  // nothing to stop: harmless
}

TEST(ProcessTest, CommandLinesSplitOnBlanksOutsideQuotes) {
  EXPECT_EQ(platform::SplitCommandLine("\"/a b/apache\" -d \"/x y\" -k  start"),
            (std::vector<std::string>{"/a b/apache", "-d", "/x y", "-k", "start"}));
  EXPECT_EQ(platform::SplitCommandLine("mysqld --defaults-file=\"/r/my.ini\" \"\""),
            (std::vector<std::string>{"mysqld", "--defaults-file=/r/my.ini", ""}));
  EXPECT_TRUE(platform::SplitCommandLine("   ").empty());
}

TEST(ServiceLayerTest, ARegisteredCommandRunsDetachedUntilStopped) {
  const fs::path state = testenv::MakeTempFolder("services");
  platform::ServiceLayer services(state);
  EXPECT_FALSE(services.Open("Demo"));
  EXPECT_EQ(services.Start("Demo"), platform::kErrorServiceDoesNotExist);
  ASSERT_EQ(services.Install("Demo", "/bin/sleep 60"), 0);
  EXPECT_EQ(services.Install("Demo", "/bin/sleep 60"), platform::kErrorServiceExists);
  EXPECT_NE(services.Install("../evil", "/bin/true"), 0);
  EXPECT_TRUE(services.Open("Demo"));
  EXPECT_EQ(services.QueryState("Demo"), platform::kServiceStopped);

  ASSERT_EQ(services.Start("Demo"), 0);
  const pid_t pid = services.Pid("Demo");
  // Whatever fails below, the daemon does not outlive the test.
  std::shared_ptr<void> guard(nullptr, [pid](void*) {
    if (pid > 0 && platform::ProcessAlive(pid) == 0) platform::KillProcessGroup(pid);
  });
  ASSERT_NE(pid, 0);
  EXPECT_EQ(services.Start("Demo"), platform::kErrorServiceAlreadyRunning);
  EXPECT_EQ(services.QueryState("Demo"), platform::kServiceRunning);
  // Not a child of the manager: it outlives it.
  for (const auto& e : platform::ListProcesses())
    if (e.pid == pid) {
      EXPECT_NE(e.ppid, ::getpid());
    }
  EXPECT_TRUE(fs::exists(state / "Demo.pid"));

  ASSERT_EQ(services.Stop("Demo"), 0);
  EXPECT_TRUE(WaitFor([&] { return services.QueryState("Demo") == platform::kServiceStopped; }, 5000));
  EXPECT_FALSE(fs::exists(state / "Demo.pid"));
  EXPECT_EQ(services.Stop("Demo"), platform::kErrorServiceNotActive);
  EXPECT_EQ(services.Remove("Demo"), 0);
  EXPECT_FALSE(services.Open("Demo"));
  std::error_code ec;
  fs::remove_all(state, ec);
}

}  // namespace
