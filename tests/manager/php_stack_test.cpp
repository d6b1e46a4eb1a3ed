// PHP inside the stack's web server: it reads only the stack's own settings
// (not the system's conf.d), so the extensions block of the PHP template is
// what PHP loads, and the stack's pages reach its database through mysqli.
#include <gtest/gtest.h>

#include <algorithm>

#include "apache_fixture.h"
#include "manager/config/php_extensions.h"
#include "manager/config/stack_files.h"
#include "manager/config/stack_layout.h"
#include "manager/servers/mysql.h"

namespace {

using namespace stacktest;

class PhpStackTest : public apachetest::ApacheTest {
 protected:
  void SetUp() override {
    ApacheTest::SetUp();
    const tessary::StackTools tools = tessary::FindStackTools();
    ASSERT_FALSE(tools.phpExtensions.empty()) << "PHP's extension folder not found";
    fs::create_directories(root + "PHP/extensions");
    fs::create_directories(root + "PHP/conf.d");
    fs::create_directories(root + "MySql");
    fs::create_directories(root + "tmp");
    for (const std::string& name : tessary::OrderedExtensions(tools.phpExtensions))
      fs::create_symlink(tools.phpExtensions + "/" + name + ".so", root + "PHP/extensions/" + name + ".so");
    // The stack's own PHP template, as a new stack gets it.
    testenv::WriteFile(root + "conf_files/php.ini", tessary::FilledTemplate("php.ini", tools, false));
    RegeneratePhpIni();
    WriteConf(HttpdTemplate(port, "PHPIniDir \"${path}/Apache\"\n"));
    testenv::WriteFile(root + "www/modules.php", "<?php phpinfo(INFO_MODULES);\n");
  }

  void RegeneratePhpIni() {
    ASSERT_EQ(tessary::GenerateConfFile(tessary::RegenerateSubstitution(root), root + "conf_files/php.ini",
                                        root + "Apache/php.ini", ';'),
              0);
  }

  // Switches one extension with the dialog's model and generates the live file.
  void Switch(const std::string& name, bool on) {
    tessary::PhpExtensionsModel model(root + "conf_files/php.ini", root);
    ASSERT_TRUE(model.Open());
    model.Refresh();
    const auto& entries = model.entries();
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.name == name; });
    ASSERT_NE(it, entries.end()) << name << " not listed";
    ASSERT_TRUE(model.SetOn(static_cast<std::size_t>(it - entries.begin()), on));
    ASSERT_EQ(model.Apply(), 0);
    RegeneratePhpIni();
  }

  // Starts the web server, fetches a page and stops the server again.
  HttpReply Fetch(const std::string& page) {
    tessary::CApache web(registry, root);
    web.SetNotificationWindow(&recorder);
    HttpReply reply;
    if (web.Start() != 0) return reply;
    const auto t0 = Clock::now();
    while ((reply = HttpGet(port, page)).status != 200 && MsSince(t0) < 10000)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    web.Stop();
    WaitState(web, tessary::Stopped);
    WaitGone(root, 5000);
    return reply;
  }
};

TEST_F(PhpStackTest, AnExtensionSwitchedOnAndOffIsLoadedAndUnloaded) {
  // calendar is among the extensions the system's own conf.d loads.
  const std::string marker = "module_calendar";
  const HttpReply before = Fetch("/modules.php");
  ASSERT_EQ(before.status, 200);
  EXPECT_EQ(before.body.find(marker), std::string::npos) << "loaded although switched off";
  // The drivers a new stack switches on.
  EXPECT_NE(before.body.find("module_mysqli"), std::string::npos);
  EXPECT_NE(before.body.find("module_pdo_mysql"), std::string::npos);

  Switch("calendar", true);
  const HttpReply on = Fetch("/modules.php");
  ASSERT_EQ(on.status, 200);
  EXPECT_NE(on.body.find(marker), std::string::npos);
  EXPECT_EQ(on.body.find("Module already loaded"), std::string::npos);

  Switch("calendar", false);
  const HttpReply off = Fetch("/modules.php");
  ASSERT_EQ(off.status, 200);
  EXPECT_EQ(off.body.find(marker), std::string::npos);
}

TEST_F(PhpStackTest, TheStartPageReachesTheDatabaseThroughMysqli) {
  const int dbPort = FreePort();
  testenv::WriteFile(root + "conf_files/my.ini", MyIniTemplate(dbPort));
  ASSERT_EQ(tessary::GenerateConfFile(tessary::RegenerateSubstitution(root), root + "conf_files/my.ini",
                                      root + "MySql/my.ini", '#'),
            0);
  const auto [rc, out] = Shell("mariadb-install-db --defaults-file='" + root +
                               "MySql/my.ini' --user=" + tessary::platform::CurrentUserName() +
                               " --auth-root-authentication-method=normal --skip-test-db");
  ASSERT_EQ(rc, 0) << out;
  testenv::WriteFile(root + "www/index.php", std::string(tessary::ShippedFileBytes("index.php")));

  // Without the database server the page says why it is not reached.
  const HttpReply alone = Fetch("/index.php");
  ASSERT_EQ(alone.status, 200);
  EXPECT_NE(alone.body.find("PHP cannot reach the database"), std::string::npos) << alone.body;

  tessary::CMySql db(registry, root);
  ASSERT_EQ(db.Start(), 0);
  ASSERT_TRUE(TickUntil(
      registry, [&] { return db.State() == tessary::Running; }, 20000));
  const HttpReply page = Fetch("/index.php");
  db.Stop();
  TickUntil(
      registry, [&] { return db.State() == tessary::Stopped; }, 20000);
  ASSERT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("PHP reaches the database: "), std::string::npos) << page.body;
  EXPECT_NE(page.body.find("MariaDB"), std::string::npos);
}

}  // namespace
