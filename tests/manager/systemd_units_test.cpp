// Services as systemd user units: the unit file written for a server's
// command line, and a real unit started, killed and stopped where a user
// service manager runs.
#include "manager/platform/systemd_units.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "manager/platform/process.h"
#include "manager/platform/service.h"
#include "stack_fixture.h"

namespace {

using namespace stacktest;
namespace platform = tessary::platform;

TEST(SystemdUnitsTest, AUnitRunsTheCommandInTheForegroundQuotedForSystemdAndRestartsOnFailure) {
  EXPECT_EQ(platform::UnitName("Apache"), "tessary-Apache.service");
  // The web server's service command: env's setting, a folder with a blank,
  // and characters systemd reads as specifiers and variables.
  const std::string text = platform::UnitFileText(
      "Apache",
      "\"/usr/bin/env\" \"PHP_INI_SCAN_DIR=/srv/my stack/PHP/conf.d\" \"/srv/my stack/Apache/apache\" "
      "-d \"/srv/my stack/Apache\" -f \"/srv/100%/a'b/httpd.conf\" -D FOREGROUND");
  EXPECT_EQ(text,
            "# Written by Tessary for its service Apache; removed with the service.\n"
            "[Unit]\n"
            "Description=Tessary Apache server\n"
            "\n"
            "[Service]\n"
            "Type=simple\n"
            "ExecStart=\"/usr/bin/env\" \"PHP_INI_SCAN_DIR=/srv/my stack/PHP/conf.d\" "
            "\"/srv/my stack/Apache/apache\" \"-d\" \"/srv/my stack/Apache\" \"-f\" "
            "\"/srv/100%%/a'b/httpd.conf\" \"-D\" \"FOREGROUND\"\n"
            "Restart=on-failure\n"
            "\n"
            "[Install]\n"
            "WantedBy=default.target\n");
  EXPECT_NE(
      platform::UnitFileText("MySQL", "\"/usr/sbin/mariadbd\" --datadir=$HOME").find("--datadir=$$HOME\""),
      std::string::npos);
  // What a unit file cannot hold is refused rather than written.
  EXPECT_EQ(platform::UnitFileText("MySQL", "\"/a\nb\" x"), "");
  EXPECT_EQ(platform::UnitFileText("MySQL", ""), "");
}

TEST(SystemdUnitsTest, AUnitIsStartedRestartedAfterAKillAndStoppedThroughTheUserManager) {
  if (!platform::UserSystemdRuns())
    GTEST_SKIP() << "no user service manager here (systemctl --user is-system-running fails)";
  const fs::path state = testenv::MakeTempFolder("units");
  platform::ServiceLayer services(state, platform::ServiceBackend::SystemdUser);
  ASSERT_TRUE(services.UsesSystemd());
  const std::string name = "test" + std::to_string(::getpid());
  ASSERT_EQ(services.Install(name, "\"/bin/sleep\" 1000"), 0);
  EXPECT_TRUE(services.Open(name));
  EXPECT_TRUE(fs::exists(platform::UserUnitFolder() / platform::UnitName(name)));
  ASSERT_EQ(services.Start(name), 0);
  auto waitFor = [&](const std::function<bool()>& done) {
    const auto t0 = Clock::now();
    while (!done() && MsSince(t0) < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done();
  };
  ASSERT_TRUE(waitFor([&] { return services.QueryState(name) == platform::kServiceRunning; }));
  const pid_t first = services.Pid(name);
  ASSERT_GT(first, 0);
  EXPECT_EQ(services.Start(name), platform::kErrorServiceAlreadyRunning);

  // Killed from outside, the unit is started again.
  ASSERT_EQ(::kill(first, SIGKILL), 0);
  EXPECT_TRUE(waitFor([&] { return services.Pid(name) > 0 && services.Pid(name) != first; }));

  ASSERT_EQ(services.Stop(name), 0);
  EXPECT_TRUE(waitFor([&] { return services.QueryState(name) == platform::kServiceStopped; }));
  EXPECT_EQ(services.Pid(name), 0);
  EXPECT_EQ(services.Stop(name), platform::kErrorServiceNotActive);
  EXPECT_EQ(services.Remove(name), 0);
  EXPECT_FALSE(services.Open(name));
  EXPECT_FALSE(fs::exists(platform::UserUnitFolder() / platform::UnitName(name)));
  std::error_code ec;
  fs::remove_all(state, ec);
}

}  // namespace
