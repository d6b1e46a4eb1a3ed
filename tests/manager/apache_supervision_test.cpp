// The web server as a whole process group: a crash after a graceful restart,
// workers left behind by a killed master, a stop right after a restart, and
// restarts refused by the configuration test while the running server stays.
#include <gtest/gtest.h>

#include "apache_fixture.h"

namespace {

using namespace stacktest;
using apachetest::ApacheTest;
using tessary::CApache;
using tessary::ServerBase;

TEST_F(ApacheTest, ACrashAfterAGracefulRestartIsReportedAndEndsTheWorkers) {
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  ASSERT_EQ(web.Restart(), 0) << recorder.Lines(2);
  EXPECT_TRUE(web.RestartPending());
  // The restart is over once the master is seen again.
  ASSERT_TRUE(TickUntil(
      registry, [&] { return !web.RestartPending(); }, 5000));
  EXPECT_EQ(web.State(), tessary::Running);

  ASSERT_EQ(::kill(web.Pid(), SIGKILL), 0);
  ASSERT_TRUE(TickUntil(
      registry, [&] { return recorder.Count(tessary::kNotifyUnexpectedEnd) > 0; }, 5000));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 1);
  EXPECT_EQ(web.State(), tessary::Stopped);
  EXPECT_TRUE(WaitGone(root, 3000)) << ProcessesOf(root).size() << " processes left";
}

TEST_F(ApacheTest, ACrashedServerIsRestartedOnlyWhenAutoRestartIsOn) {
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  EXPECT_FALSE(web.AutoRestart());  // off unless asked for
  web.SetAutoRestart(true);
  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  const pid_t first = web.Pid();
  EXPECT_GE(tessary::platform::ProcessAgeSeconds(first), 0);

  ASSERT_EQ(::kill(first, SIGKILL), 0);
  ASSERT_TRUE(TickUntil(
      registry, [&] { return recorder.Count(tessary::kNotifyAutoRestart) > 0; }, 8000));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 1);
  EXPECT_NE(recorder.Lines(tessary::kNotifyAutoRestart)
                .find("Apache restarted after its unexpected end (restart 1 of 3"),
            std::string::npos)
      << recorder.Lines(tessary::kNotifyAutoRestart);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  EXPECT_NE(web.Pid(), first);
  const auto t0 = Clock::now();
  while (HttpGet(port, "/").status != 200 && MsSince(t0) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(HttpGet(port, "/").status, 200);

  web.SetAutoRestart(false);
  ASSERT_EQ(::kill(web.Pid(), SIGKILL), 0);
  ASSERT_TRUE(TickUntil(
      registry, [&] { return recorder.Count(tessary::kNotifyUnexpectedEnd) == 2; }, 8000));
  EXPECT_EQ(web.State(), tessary::Stopped);
  EXPECT_EQ(recorder.Count(tessary::kNotifyAutoRestart), 1);
  EXPECT_TRUE(WaitGone(root, 3000));
}

TEST_F(ApacheTest, WorkersOfAKilledMasterAreNeitherAdoptedNorLeftOnThePort) {
  WriteConf(HttpdTemplate(port));
  pid_t launcher = 0;
  {
    CApache probe(registry, root);  // only for its command line
    ASSERT_EQ(tessary::platform::Spawn(probe.CommandLine("-k start"), {}, launcher), 0);
  }
  int status = 0;
  ::waitpid(launcher, &status, 0);
  const auto t0 = Clock::now();
  while (HttpGet(port, "/").status != 200 && MsSince(t0) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::string pidText = testenv::ReadFile(root + "Apache/logs/httpd.pid");
  const pid_t master = static_cast<pid_t>(std::atol(pidText.c_str()));
  ASSERT_GT(master, 0);
  // Nobody watches this server: its master dies, its workers stay.
  ASSERT_EQ(::kill(master, SIGKILL), 0);
  while (tessary::platform::ProcessAlive(master) == 0 && MsSince(t0) < 20000)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(ProcessesOf(root).empty());

  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  EXPECT_EQ(web.Pid(), 0);  // a worker is not the server
  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1);
  ASSERT_TRUE(WaitState(web, tessary::Running)) << recorder.Lines(1);
  EXPECT_NE(web.Pid(), master);
  EXPECT_EQ(MastersOf(root), 1U);  // the new master alone, no stray worker
  EXPECT_EQ(HttpGet(port, "/").status, 200);
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 5000));
}

TEST_F(ApacheTest, AStopRightAfterARestartEndsTheWholeServerWithoutAnotherTick) {
  // The server forgets a stop that comes while it re-reads its files; the
  // stop must go through all the same, also when the manager quits at once
  // and no tick follows.
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  ASSERT_EQ(web.Restart(), 0) << recorder.Lines(2);
  ASSERT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 8000)) << ProcessesOf(root).size() << " processes left";
  EXPECT_TRUE(WaitState(web, tessary::Stopped));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
  EXPECT_FALSE(tessary::IsPortInUse(port));
}

TEST_F(ApacheTest, ABadLineBeforeARestartKeepsTheRunningServerAndShowsTheReport) {
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  web.SetAutoReload(true);
  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  const pid_t master = web.Pid();

  // The automatic reload: the template gains a bad line, the tick writes
  // the live file and asks the owner to restart.
  testenv::WriteFile(root + "conf_files/httpd.conf", HttpdTemplate(port, "NoSuchDirective here\n"));
  ServerBase::TimerProc(registry);
  ASSERT_EQ(recorder.Count(tessary::kNotifyConfChanged), 1);
  // What the owner does then, as on the restart command and a PHP change.
  EXPECT_EQ(web.Restart(), tessary::kErrorBadConfig);
  EXPECT_EQ(recorder.Count(tessary::kNotifyBadConfig), 1);
  EXPECT_NE(recorder.Lines(tessary::kNotifyBadConfig).find("NoSuchDirective"), std::string::npos)
      << recorder.Lines(tessary::kNotifyBadConfig);
  EXPECT_FALSE(web.RestartPending());
  for (int i = 0; i < 3; ++i) ServerBase::TimerProc(registry);
  EXPECT_EQ(web.State(), tessary::Running);
  EXPECT_EQ(web.Pid(), master);
  EXPECT_EQ(HttpGet(port, "/").status, 200);
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);

  // Mended, the restart goes through.
  testenv::WriteFile(root + "conf_files/httpd.conf", HttpdTemplate(port, "# mended\n"));
  ServerBase::TimerProc(registry);
  EXPECT_EQ(web.Restart(), 0);
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 5000));
}

}  // namespace
