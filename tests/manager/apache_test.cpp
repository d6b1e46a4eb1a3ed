// The web server driven by the manager: Debian's Apache with PHP, on a free
// port of a temporary installation.
#include "manager/servers/apache.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "apache_fixture.h"

namespace {

using namespace stacktest;
using apachetest::ApacheTest;
using apachetest::DeadPid;
using apachetest::TestApache;
using tessary::CApache;
using tessary::ServerBase;
using tessary::ServerRegistry;

TEST_F(ApacheTest, ServesPagesRestartsOnHangupAndStopsOnItsSignal) {
  WriteConf(HttpdTemplate(port));
  TestApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  EXPECT_EQ(web.Port(), port);
  EXPECT_EQ(web.DocumentRoot(), root + "www");

  const auto t0 = Clock::now();
  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1);
  ASSERT_NE(web.Pid(), 0);
  HttpReply page;
  while ((page = HttpGet(port, "/")).status != 200 && MsSince(t0) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const double toFirst200 = MsSince(t0);
  ASSERT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("Tessary start page"), std::string::npos);
  const HttpReply php = HttpGet(port, "/info.php");
  EXPECT_EQ(php.status, 200);
  EXPECT_EQ(php.body, "PHP says 42");
  ASSERT_TRUE(WaitState(web, tessary::Running));
  std::printf("[ measure ] web server: Start to first HTTP 200: %.0f ms\n", toFirst200);

  const pid_t master = web.Pid();
  // The master, not one of its workers: the one of the pid file, and the
  // one a refused start names.
  EXPECT_EQ(std::to_string(master) + "\n", testenv::ReadFile(root + "Apache/logs/httpd.pid"));
  EXPECT_EQ(tessary::platform::PortHolder(port), "apache (pid " + std::to_string(master) + ")");
  ASSERT_EQ(web.Restart(), 0);
  EXPECT_TRUE(web.RestartPending());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  HttpReply again;
  const auto t1 = Clock::now();
  while ((again = HttpGet(port, "/info.php")).status != 200 && MsSince(t1) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(again.status, 200);
  EXPECT_EQ(master, web.Pid());  // the master re-reads its files and stays
  EXPECT_NE(testenv::ReadFile(root + "Apache/logs/error.log").find("SIGHUP"), std::string::npos);

  const auto t2 = Clock::now();
  ASSERT_EQ(web.Stop(), 0);
  EXPECT_FALSE(web.RestartPending());
  EXPECT_EQ(web.State(), tessary::Stopping);
  ASSERT_TRUE(WaitState(web, tessary::Stopped));
  ASSERT_TRUE(WaitGone(root, 5000));
  std::printf("[ measure ] web server: Stop to last process gone: %.0f ms\n", MsSince(t2));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
  EXPECT_FALSE(tessary::IsPortInUse(port));
}

TEST_F(ApacheTest, StopUsesTheShutdownCommandWhenTheSignalCannotBeSent) {
  WriteConf(HttpdTemplate(port));
  TestApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  const pid_t real = web.Pid();
  web.SetPid(DeadPid());  // the "event" of that pid cannot be opened
  // The restart command instead of the signal: no restart is then pending.
  EXPECT_EQ(web.Restart(), 0);
  EXPECT_FALSE(web.RestartPending());
  const auto t0 = Clock::now();
  while (testenv::ReadFile(root + "Apache/logs/error.log").find("SIGHUP") == std::string::npos &&
         MsSince(t0) < 8000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(testenv::ReadFile(root + "Apache/logs/error.log").find("SIGHUP"), std::string::npos);
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_EQ(web.State(), tessary::Stopping);
  ASSERT_TRUE(WaitGone(root, 8000)) << "the shutdown command did not end pid " << real;
  EXPECT_TRUE(WaitState(web, tessary::Stopped));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
}

TEST_F(ApacheTest, SyntaxErrorIsReportedAndNothingStarts) {
  WriteConf(HttpdTemplate(port, "NoSuchDirective here\n"));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  EXPECT_EQ(web.Start(), 0);
  EXPECT_EQ(web.State(), tessary::Stopped);
  ASSERT_EQ(recorder.Count(tessary::kNotifyBadConfig), 1);
  const std::string report = recorder.Lines(tessary::kNotifyBadConfig);
  EXPECT_NE(report.find("NoSuchDirective"), std::string::npos) << report;
  EXPECT_EQ(report.find("Syntax OK"), std::string::npos);
  EXPECT_TRUE(ProcessesOf(root).empty());
  EXPECT_FALSE(fs::exists(root + "Apache/chkap.txt"));
  EXPECT_FALSE(fs::exists(root + "Apache/chkap.sh"));
  EXPECT_FALSE(tessary::IsPortInUse(port));

  // The same file made right passes the test.
  WriteConf(HttpdTemplate(port));
  EXPECT_TRUE(web.VerifyConfFile());
  EXPECT_EQ(recorder.Count(tessary::kNotifyBadConfig), 1);
}

TEST_F(ApacheTest, TakenPortIsRefusedWithItsHolderAndTheNextTickStops) {
  WriteConf(HttpdTemplate(port));
  Listener other(port);
  ASSERT_TRUE(other.ok());
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  EXPECT_EQ(web.Start(), tessary::kErrorAddressInUse);
  EXPECT_EQ(web.State(), tessary::Starting);
  const std::string holder = "(pid " + std::to_string(::getpid()) + ")";
  EXPECT_NE(web.LastRefusal().find(holder), std::string::npos) << web.LastRefusal();
  EXPECT_NE(recorder.Lines(tessary::kNotifyOutputLine).find("is used by"), std::string::npos);
  ServerBase::TimerProc(registry);
  EXPECT_EQ(web.State(), tessary::Stopped);
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
  EXPECT_TRUE(ProcessesOf(root).empty());
}

TEST_F(ApacheTest, ServerOutputReachesTheOwnerLineByLine) {
  // With the port check off the server itself meets the taken port and says
  // so on its standard error, which must reach the log.
  WriteConf(HttpdTemplate(port));
  Listener other(port);
  ASSERT_TRUE(other.ok());
  registry.checkServerPorts = false;
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  EXPECT_EQ(web.Start(), 0);
  EXPECT_TRUE(WaitState(web, tessary::Stopped));
  const std::string lines = recorder.Lines(tessary::kNotifyOutputLine);
  EXPECT_NE(lines.find("Address already in use"), std::string::npos) << lines;
  for (const auto& e : recorder.entries) {
    if (e.value == tessary::kNotifyOutputLine) {
      EXPECT_LE(e.text.size(), 55U);
      EXPECT_EQ(e.text.find('\n'), std::string::npos);
    }
  }
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
}

TEST_F(ApacheTest, OutsideKillIsReportedOnceAndKillEndsTheWorkersToo) {
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0);
  ASSERT_TRUE(WaitState(web, tessary::Running));

  // From outside: the master alone, with the real tick period.
  ASSERT_EQ(::kill(web.Pid(), SIGKILL), 0);
  const auto t0 = Clock::now();
  int ticks = 0;
  ASSERT_TRUE(TickUntil(
      registry, [&] { return ++ticks && recorder.Count(tessary::kNotifyUnexpectedEnd) > 0; }, 5000,
      tessary::kTimerPeriodMs));
  std::printf("[ measure ] web server: outside kill seen after %.0f ms (%d ticks)\n", MsSince(t0), ticks);
  for (int i = 0; i < 3; ++i) ServerBase::TimerProc(registry);
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 1);
  EXPECT_EQ(web.State(), tessary::Stopped);
  // The workers went with their master: nothing answers on the port.
  EXPECT_TRUE(WaitGone(root, 3000)) << ProcessesOf(root).size() << " processes left";
  EXPECT_EQ(HttpGet(port, "/").status, 0);

  // Kill through the manager ends the workers with their master, so the
  // port is free for the next start at once.
  ASSERT_EQ(web.Start(), 0);
  ASSERT_TRUE(WaitState(web, tessary::Running))
      << recorder.Lines(1) << testenv::ReadFile(root + "Apache/logs/error.log");
  ASSERT_EQ(web.Kill(), 0);
  EXPECT_EQ(web.State(), tessary::Stopping);
  EXPECT_TRUE(WaitGone(root, 3000));
  EXPECT_TRUE(WaitState(web, tessary::Stopped));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 1);
  EXPECT_EQ(web.Start(), 0) << recorder.Lines(1);
  EXPECT_TRUE(WaitState(web, tessary::Running));
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 5000));
}

TEST_F(ApacheTest, RunningServerIsAdoptedNotDoubled) {
  WriteConf(HttpdTemplate(port));
  pid_t launcher = 0;
  {
    CApache probe(registry, root);  // only for its command line
    ASSERT_EQ(tessary::platform::Spawn(probe.CommandLine("-k start"), {}, launcher), 0);
  }
  int status = 0;
  ::waitpid(launcher, &status, 0);
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_NE(web.Pid(), 0);
  ASSERT_TRUE(WaitState(web, tessary::Running));
  EXPECT_EQ(MastersOf(root), 1U);
  EXPECT_EQ(web.Start(), 0);  // running already: nothing more
  EXPECT_EQ(MastersOf(root), 1U);
  EXPECT_EQ(HttpGet(port, "/").status, 200);
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 5000));
  EXPECT_TRUE(WaitState(web, tessary::Stopped));
}

TEST_F(ApacheTest, ChangedTemplateRegeneratesTheLiveFileAtTheNextTick) {
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int newPort = FreePort();
  testenv::WriteFile(root + "conf_files/httpd.conf", HttpdTemplate(newPort));
  ServerBase::TimerProc(registry);
  const std::string live = testenv::ReadFile(root + "Apache/conf/httpd.conf");
  EXPECT_NE(live.find("Listen 127.0.0.1:" + std::to_string(newPort)), std::string::npos);
  EXPECT_NE(live.find("DocumentRoot \"" + root + "www\""), std::string::npos) << live;
  EXPECT_EQ(live.rfind("#------------------------ IMPORTANT !", 0), 0U);
  EXPECT_EQ(web.State(), tessary::Stopped);
  // The live file alone changing while stopped does nothing.
  testenv::WriteFile(root + "Apache/conf/httpd.conf", "edited\n");
  ServerBase::TimerProc(registry);
  EXPECT_EQ(testenv::ReadFile(root + "Apache/conf/httpd.conf"), "edited\n");
}

TEST_F(ApacheTest, ChangedTemplateWhileRunningRestartsOnlyWithAutoReload) {
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0);
  ASSERT_TRUE(WaitState(web, tessary::Running));

  // autoReload off: the live file follows the template, nothing is posted.
  testenv::WriteFile(root + "conf_files/httpd.conf", HttpdTemplate(port, "# one\n"));
  ServerBase::TimerProc(registry);
  EXPECT_NE(testenv::ReadFile(root + "Apache/conf/httpd.conf").find("# one"), std::string::npos);
  EXPECT_EQ(recorder.Count(tessary::kNotifyConfChanged), 0);

  web.SetAutoReload(true);
  const int next = FreePort();
  testenv::WriteFile(root + "conf_files/httpd.conf", HttpdTemplate(next));
  ServerBase::TimerProc(registry);
  EXPECT_EQ(recorder.Count(tessary::kNotifyConfChanged), 1);
  EXPECT_EQ(web.Port(), next);  // read again before the owner restarts
  ServerBase::TimerProc(registry);
  EXPECT_EQ(recorder.Count(tessary::kNotifyConfChanged), 1);

  // What the owner does on notification 3.
  ASSERT_EQ(web.Restart(), 0);
  HttpReply page;
  const auto t0 = Clock::now();
  while ((page = HttpGet(next, "/")).status != 200 && MsSince(t0) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(page.status, 200) << testenv::ReadFile(root + "Apache/logs/error.log") << " pid " << web.Pid()
                              << " procs " << ProcessesOf(root).size() << " state " << web.State() << "\n"
                              << testenv::ReadFile(root + "Apache/conf/httpd.conf");
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 5000));
}

TEST_F(ApacheTest, AsAServiceItRunsInTheForegroundOfItsDaemon) {
  WriteConf(HttpdTemplate(port));
  const fs::path state = testenv::MakeTempFolder("web-services");
  tessary::platform::ServiceLayer services(state);
  ServerRegistry withServices(&services);
  {
    CApache web(withServices, root);
    ASSERT_EQ(web.InstallService(), 0);
    ASSERT_TRUE(web.SetServiceMode(true));
    ASSERT_EQ(web.Start(), 0);
    HttpReply page;
    const auto t0 = Clock::now();
    while ((page = HttpGet(port, "/info.php")).status != 200 && MsSince(t0) < 10000)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(page.body, "PHP says 42");
    ASSERT_TRUE(TickUntil(
        withServices, [&] { return web.IsRunning(); }, 5000));
    EXPECT_EQ(web.Pid(), services.Pid("Apache"));
    EXPECT_EQ(web.Stop(), 0);
    EXPECT_TRUE(TickUntil(
        withServices, [&] { return web.State() == tessary::Stopped; }, 10000));
    EXPECT_TRUE(WaitGone(root, 5000));
    EXPECT_EQ(web.RemoveService(), 0);
  }
  std::error_code ec;
  fs::remove_all(state, ec);
}

TEST_F(ApacheTest, ASlowStartIsStillSupervised) {
  // A launcher that takes longer than the start waits for: the server comes
  // up after StartExe has given up looking, and must not run unknown.
  WriteConf(HttpdTemplate(port));
  WriteLauncher("sleep 2\n");
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0);
  EXPECT_EQ(web.Pid(), 0);
  ServerBase::TimerProc(registry);
  EXPECT_EQ(web.State(), tessary::Starting);
  ASSERT_TRUE(WaitState(web, tessary::Running, 20000))
      << recorder.Lines(1) << web.State() << " procs " << ProcessesOf(root).size() << "\n"
      << testenv::ReadFile(root + "Apache/logs/error.log");
  EXPECT_NE(web.Pid(), 0);
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 5000));
}

TEST_F(ApacheTest, AStopBeforeAnyTickEndsTheServer) {
  // A quit right after a start: the server has not been seen Running yet.
  WriteConf(HttpdTemplate(port));
  CApache web(registry, root);
  ASSERT_EQ(web.Start(), 0);
  ASSERT_EQ(web.State(), tessary::Starting);
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_EQ(web.State(), tessary::Stopping);
  EXPECT_TRUE(WaitGone(root, 10000)) << ProcessesOf(root).size() << " processes left";

  // A start that is still handing over to its server when the stop comes.
  WriteLauncher("sleep 2\n");
  CApache slow(registry, root);
  ASSERT_TRUE(WaitState(web, tessary::Stopped));
  ASSERT_EQ(slow.Start(), 0);
  EXPECT_EQ(slow.Stop(), 0);
  EXPECT_TRUE(WaitGone(root, 10000)) << ProcessesOf(root).size() << " processes left";
}

TEST_F(ApacheTest, AStopEndsAStartThatDoesNotHandOver) {
  // A launcher stuck before it hands over: the stop ends it, rather than
  // leave it to bring a server up after a quit, and says so.
  WriteConf(HttpdTemplate(port));
  WriteLauncher("case \" $* \" in *\" -k start \"*) sleep 600 ;; esac\n");
  CApache web(registry, root);
  web.SetNotificationWindow(&recorder);
  ASSERT_EQ(web.Start(), 0);
  ASSERT_TRUE(web.Runner().IsActive());
  EXPECT_EQ(web.Stop(), 0);
  EXPECT_FALSE(web.Runner().IsActive());
  EXPECT_NE(recorder.Lines(tessary::kNotifyOutputLine).find("Apache was still starting at the stop: ended"),
            std::string::npos)
      << recorder.Lines(tessary::kNotifyOutputLine);
  EXPECT_EQ(web.State(), tessary::Stopping);
  EXPECT_TRUE(WaitState(web, tessary::Stopped));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
}

}  // namespace
