// The supervision's stop of a process-mode server, on small shell programs
// that play a server missing its first stop signal and one deaf to it.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "manager/platform/process.h"
#include "manager/servers/server_base.h"
#include "stack_fixture.h"

namespace {

using namespace stacktest;
using tessary::ServerBase;
namespace platform = tessary::platform;

// A server whose program is a shell script; it stops on SIGTERM as the real
// servers do, when its script lets it.
class ScriptServer : public ServerBase {
 public:
  ScriptServer(tessary::ServerRegistry& registry, const std::string& root, std::string script)
      : ServerBase(registry, root, "Script", 1), m_script(std::move(script)) {}
  int Restart() override { return 0; }
  int InstallService() override { return 0; }
  int RemoveService() override { return 0; }
  int StartExe() override { return platform::Spawn("/bin/sh -c \"" + m_script + "\"", {}, pi.pid); }
  int StopExe() override { return platform::SendSignal(pi.pid, SIGTERM); }

 protected:
  bool FindRunning() override { return false; }

 private:
  std::string m_script;
};

// The processes of a process group that have not ended.
std::size_t GroupSize(pid_t pgid) {
  const auto list = platform::ListProcesses();
  return static_cast<std::size_t>(std::count_if(
      list.begin(), list.end(), [&](const platform::ProcessEntry& e) { return e.pgid == pgid; }));
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto t0 = Clock::now();
  while (!done()) {
    if (MsSince(t0) > timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class ServerStopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = MakeRoot("stop");
    registry.checkServerPorts = false;
  }
  void TearDown() override {
    if (pgid != 0) platform::KillProcessGroup(pgid);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  // Starts the script (which ends its set-up by creating the file "ready"),
  // waits until it has set up and sees it Running; then stops it.
  void StartAndStop(ScriptServer& server) {
    server.SetNotificationWindow(&recorder);
    ASSERT_EQ(server.Start(), 0);
    pgid = server.Pid();
    ASSERT_NE(pgid, 0);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(root + "ready"); }, 10000));
    ASSERT_TRUE(TickUntil(
        registry, [&] { return server.State() == tessary::Running; }, 5000));
    ASSERT_EQ(server.Stop(), 0);
    EXPECT_EQ(server.State(), tessary::Stopping);
  }

  std::string root;
  pid_t pgid = 0;
  tessary::ServerRegistry registry{nullptr, [](const std::string&) {}};
  Recorder recorder;
};

TEST_F(ServerStopTest, AStopSignalTheServerMissedIsSentAgainUntilItsGroupHasGone) {
  // The first SIGTERM is lost, as to a web server re-reading its files.
  ScriptServer server(
      registry, root,
      "trap 'trap - TERM' TERM; : > '" + root + "ready'; while :; do sleep 5 & wait $!; done");
  StartAndStop(server);
  ASSERT_TRUE(TickUntil(
      registry, [&] { return server.State() == tessary::Stopped; }, 10000));
  EXPECT_TRUE(WaitFor([&] { return GroupSize(pgid) == 0; }, 5000)) << GroupSize(pgid) << " left";
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
  EXPECT_EQ(recorder.Lines(tessary::kNotifyOutputLine).find("did not stop"), std::string::npos);
}

TEST_F(ServerStopTest, AServerDeafToItsStopHasItsGroupEndedAfterTheStopTimeAndIsTold) {
  ScriptServer server(registry, root,
                      "trap '' TERM; : > '" + root + "ready'; while :; do sleep 5 & wait $!; done");
  StartAndStop(server);
  int ticks = 0;
  ASSERT_TRUE(TickUntil(
      registry, [&] { return ++ticks && server.State() == tessary::Stopped; }, 20000, 10));
  EXPECT_GE(ticks, tessary::kStopTicksBeforeKill);
  EXPECT_TRUE(WaitFor([&] { return GroupSize(pgid) == 0; }, 5000)) << GroupSize(pgid) << " left";
  EXPECT_NE(recorder.Lines(tessary::kNotifyOutputLine).find("Script did not stop within 30 s: ended"),
            std::string::npos)
      << recorder.Lines(tessary::kNotifyOutputLine);
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
}

}  // namespace
