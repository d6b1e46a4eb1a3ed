// The database server driven by the manager: Debian's MariaDB on a free port
// of a temporary installation whose data folder is made once per run.
#include "manager/servers/mysql.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "manager/config/conf_files.h"
#include "stack_fixture.h"

namespace {

using namespace stacktest;
using tessary::CMySql;
using tessary::ServerBase;
using tessary::ServerRegistry;

class TestMySql : public CMySql {
 public:
  using CMySql::CMySql;
  void SetPid(pid_t p) { pi.pid = p; }
};

class MySqlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = MakeRoot("db");
    port = FreePort();
    testenv::WriteFile(root + "conf_files/my.ini", MyIniTemplate(port));
    tessary::RegenerateConfFiles(root);
    const auto [rc, out] = Shell("mariadb-install-db --defaults-file='" + root +
                                 "MySql/my.ini' --user=" + tessary::platform::CurrentUserName() +
                                 " --auth-root-authentication-method=normal --skip-test-db");
    installed = rc == 0;
    if (!installed) std::fprintf(stderr, "mariadb-install-db failed:\n%s\n", out.c_str());
  }
  static void TearDownTestSuite() {
    KillLeftovers(root);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void SetUp() override { ASSERT_TRUE(installed) << "no data folder"; }
  void TearDown() override { KillLeftovers(root); }

  static bool Ping() {
    return Shell("mariadb-admin --defaults-file='" + root + "MySql/my.ini' -u root --connect-timeout=2 ping")
               .first == 0;
  }
  bool WaitState(CMySql& db, tessary::ServerState s, int timeoutMs = 15000) {
    return TickUntil(
        registry, [&] { return db.State() == s; }, timeoutMs);
  }

  static inline std::string root;
  static inline int port = 0;
  static inline bool installed = false;
  ServerRegistry registry;
  Recorder recorder;
};

TEST_F(MySqlTest, StartsWithTheLiveFileAnswersAClientAndStopsOnItsSignal) {
  CMySql db(registry, root);
  db.SetNotificationWindow(&recorder);
  EXPECT_EQ(db.Executable(), root + "MySql/bin/mysqld");
  EXPECT_NE(db.CommandLine().find("--defaults-file=\"" + root + "MySql/my.ini\" --language=english"),
            std::string::npos);

  const auto t0 = Clock::now();
  ASSERT_EQ(db.Start(), 0);
  ASSERT_NE(db.Pid(), 0);  // known at once
  while (!Ping() && MsSince(t0) < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const double toPing = MsSince(t0);
  ASSERT_TRUE(Ping());
  std::printf("[ measure ] database server: Start to first ping: %.0f ms\n", toPing);
  ServerBase::TimerProc(registry);
  EXPECT_EQ(db.State(), tessary::Running);
  EXPECT_FALSE(db.SetServiceMode(true));  // only while stopped
  EXPECT_FALSE(db.ServiceMode());
  const pid_t pid = db.Pid();
  EXPECT_EQ(db.Start(), 0);  // not Stopped: nothing happens
  EXPECT_EQ(db.Pid(), pid);
  EXPECT_EQ(ProcessesOf(root).size(), 1U);

  const auto [rc, out] =
      Shell("mariadb --defaults-file='" + root + "MySql/my.ini' -u root -N -e 'SELECT 6*7'");
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("42"), std::string::npos);
  // Over TCP too, at the port of the template.
  EXPECT_EQ(
      Shell("mariadb --no-defaults -h 127.0.0.1 -P " + std::to_string(port) + " -u root -e 'SELECT 1'").first,
      0);

  const auto t1 = Clock::now();
  ASSERT_EQ(db.Stop(), 0);
  EXPECT_EQ(db.State(), tessary::Stopping);
  ASSERT_TRUE(WaitState(db, tessary::Stopped));
  ASSERT_TRUE(WaitGone(root, 10000));
  std::printf("[ measure ] database server: Stop to process gone: %.0f ms\n", MsSince(t1));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
}

TEST_F(MySqlTest, AStopBeforeAnyTickEndsTheServer) {
  // A quit right after a start: the server has not been seen Running yet.
  CMySql db(registry, root);
  ASSERT_EQ(db.Start(), 0);
  ASSERT_EQ(db.State(), tessary::Starting);
  EXPECT_EQ(db.Stop(), 0);
  EXPECT_EQ(db.State(), tessary::Stopping);
  EXPECT_TRUE(WaitGone(root, 15000));
}

TEST_F(MySqlTest, StopUsesTheAdministrationClientWhenTheSignalCannotBeSent) {
  TestMySql db(registry, root);
  ASSERT_EQ(db.Start(), 0);
  const auto t0 = Clock::now();
  while (!Ping() && MsSince(t0) < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(WaitState(db, tessary::Running));
  pid_t dead = 0;
  tessary::platform::Spawn("/bin/true", {}, dead);
  int status = 0;
  ::waitpid(dead, &status, 0);
  db.SetPid(dead);
  EXPECT_EQ(db.Stop(), 0);
  ASSERT_TRUE(WaitGone(root, 15000)) << "the administration client did not stop the server";
}

TEST_F(MySqlTest, RestartOfAStoppedServerStartsItAndKeepsTheRestartPending) {
  CMySql db(registry, root);
  ASSERT_EQ(db.Restart(), 0);
  EXPECT_TRUE(db.RestartPending());
  ASSERT_TRUE(WaitState(db, tessary::Running));
  EXPECT_TRUE(db.RestartPending());
  EXPECT_EQ(db.Stop(), 0);
  EXPECT_FALSE(db.RestartPending());
  EXPECT_TRUE(WaitGone(root, 15000));
}

TEST_F(MySqlTest, ARunningServerIsAdoptedAndAnOutsideKillIsReportedOnce) {
  // Started elsewhere, not from our link but on our data folder: the same
  // server for the manager, never a second copy.
  pid_t outside = 0;
  ASSERT_EQ(tessary::platform::Spawn("/usr/sbin/mariadbd --defaults-file=\"" + root +
                                         "MySql/my.ini\" --user=" + tessary::platform::CurrentUserName(),
                                     {}, outside),
            0);
  const auto t0 = Clock::now();
  while (!Ping() && MsSince(t0) < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(Ping());
  CMySql db(registry, root);
  db.SetNotificationWindow(&recorder);
  EXPECT_EQ(db.Pid(), outside);
  EXPECT_EQ(db.Start(), 0);
  EXPECT_EQ(ProcessesOf(root).size(), 1U);
  ASSERT_TRUE(WaitState(db, tessary::Running));

  ASSERT_EQ(::kill(outside, SIGKILL), 0);
  const auto t1 = Clock::now();
  int ticks = 0;
  ASSERT_TRUE(TickUntil(
      registry, [&] { return ++ticks && recorder.Count(tessary::kNotifyUnexpectedEnd) > 0; }, 5000,
      tessary::kTimerPeriodMs));
  std::printf("[ measure ] database server: outside kill seen after %.0f ms (%d ticks)\n", MsSince(t1),
              ticks);
  for (int i = 0; i < 3; ++i) ServerBase::TimerProc(registry);
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 1);
  EXPECT_EQ(db.State(), tessary::Stopped);
}

TEST_F(MySqlTest, AsAServiceItRunsDetachedAndStopsThroughTheServiceLayer) {
  const fs::path state = testenv::MakeTempFolder("services");
  tessary::platform::ServiceLayer services(state);
  ServerRegistry withServices(&services);
  {
    CMySql db(withServices, root);
    ASSERT_TRUE(db.SetServiceMode(true));
    EXPECT_EQ(db.Start(), tessary::platform::kErrorServiceDoesNotExist);
    ASSERT_TRUE(TickUntil(
        withServices, [&] { return db.State() == tessary::Stopped; }, 3000));

    ASSERT_EQ(db.InstallService(), 0);
    ASSERT_EQ(db.Start(), 0);
    const auto t0 = Clock::now();
    while (!Ping() && MsSince(t0) < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(Ping());
    ASSERT_TRUE(TickUntil(
        withServices, [&] { return db.State() == tessary::Running; }, 5000));
    ASSERT_NE(db.Pid(), 0);
    for (const auto& e : tessary::platform::ListProcesses()) {
      if (e.pid == db.Pid()) {
        EXPECT_NE(e.ppid, ::getpid());  // detached: it outlives the manager
      }
    }
    EXPECT_EQ(db.Kill(), 0);  // not in service mode
    EXPECT_EQ(db.State(), tessary::Running);
    EXPECT_EQ(db.Stop(), 0);
    EXPECT_TRUE(TickUntil(
        withServices, [&] { return db.State() == tessary::Stopped; }, 15000));
    EXPECT_TRUE(WaitGone(root, 5000));
    EXPECT_EQ(db.RemoveService(), 0);
    EXPECT_FALSE(services.Open("MySQL"));
  }
  std::error_code ec;
  fs::remove_all(state, ec);
}

TEST_F(MySqlTest, AStartThatFailsTellsTheServersOwnWords) {
  const std::string live = root + "MySql/my.ini";
  const std::string saved = testenv::ReadFile(live);
  testenv::WriteFile(live, saved + "[mysqld]\nno-such-option=1\n");
  {
    CMySql db(registry, root);
    db.SetNotificationWindow(&recorder);
    ASSERT_EQ(db.Start(), 0);
    ASSERT_TRUE(WaitState(db, tessary::Stopped));
    std::string said;  // the lines as one text: a line is cut into pieces
    for (const auto& e : recorder.entries)
      if (e.value == tessary::kNotifyOutputLine) said += e.text;
    EXPECT_NE(said.find("no-such-option"), std::string::npos) << recorder.Lines(1);
    EXPECT_NE(said.find("End of " + root + "MySql/error.log:"), std::string::npos) << recorder.Lines(1);
    EXPECT_TRUE(ProcessesOf(root).empty());
  }
  testenv::WriteFile(live, saved);
}

TEST_F(MySqlTest, TakenPortGives10048AndTheNextTickStops) {
  const int taken = FreePort();
  Listener other(taken);
  ASSERT_TRUE(other.ok());
  const std::string saved = testenv::ReadFile(root + "conf_files/my.ini");
  testenv::WriteFile(root + "conf_files/my.ini", MyIniTemplate(taken));
  tessary::RegenerateConfFiles(root);
  {
    CMySql db(registry, root);
    db.SetNotificationWindow(&recorder);
    EXPECT_EQ(db.Port(), taken);
    EXPECT_EQ(db.Start(), tessary::kErrorAddressInUse);
    EXPECT_NE(db.LastRefusal().find("(pid " + std::to_string(::getpid()) + ")"), std::string::npos)
        << db.LastRefusal();
    EXPECT_EQ(db.State(), tessary::Starting);
    ServerBase::TimerProc(registry);
    EXPECT_EQ(db.State(), tessary::Stopped);
    EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
    EXPECT_TRUE(ProcessesOf(root).empty());
  }
  testenv::WriteFile(root + "conf_files/my.ini", saved);
  tessary::RegenerateConfFiles(root);
}

}  // namespace
