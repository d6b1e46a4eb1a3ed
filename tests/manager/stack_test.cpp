// The whole stack as install mode lays it out, run by the two server
// controls: the shipped templates with their ports moved to free ones.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "manager/config/conf_files.h"
#include "manager/config/settings.h"
#include "manager/config/stack_layout.h"
#include "manager/servers/apache.h"
#include "manager/servers/mysql.h"
#include "manager/servers/server_stack.h"
#include "stack_fixture.h"

namespace {

using namespace stacktest;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST(StackTest, TheInstalledStackServesPhpAndAnswersTheDatabaseClient) {
  const fs::path dir = testenv::MakeTempFolder("stack");
  const std::string root = dir.string() + "/";
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      KillLeftovers(dir);
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{dir};

  std::vector<std::string> messages;
  ASSERT_EQ(tessary::LayOutStack(root, tessary::FindStackTools(), messages), 0)
      << (messages.empty() ? "" : messages.front());
  const int webPort = FreePort();
  const int dbPort = FreePort();
  const std::string httpd = testenv::ReadFile(root + "conf_files/httpd.conf");
  ASSERT_NE(httpd.find("Listen 127.0.0.1:80\n"), std::string::npos);
  testenv::WriteFile(
      root + "conf_files/httpd.conf",
      ReplaceAll(httpd, "Listen 127.0.0.1:80\n", "Listen 127.0.0.1:" + std::to_string(webPort) + "\n"));
  testenv::WriteFile(root + "conf_files/my.ini", ReplaceAll(testenv::ReadFile(root + "conf_files/my.ini"),
                                                            "port=3306", "port=" + std::to_string(dbPort)));
  ASSERT_EQ(tessary::RegenerateConfFiles(root), 0);

  tessary::ServerRegistry registry;
  Recorder recorder;
  tessary::CMySql db(registry, root);
  tessary::CApache web(registry, root);
  db.SetNotificationWindow(&recorder);
  web.SetNotificationWindow(&recorder);
  EXPECT_EQ(web.Port(), webPort);
  EXPECT_EQ(db.Port(), dbPort);

  ASSERT_EQ(web.Start(), 0) << recorder.Lines(1) << recorder.Lines(2);
  ASSERT_EQ(db.Start(), 0);
  ASSERT_TRUE(TickUntil(
      registry, [&] { return web.IsRunning() && db.IsRunning(); }, 15000));
  HttpReply php;
  const auto t0 = Clock::now();
  while ((php = HttpGet(webPort, "/info.php")).status != 200 && MsSince(t0) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(php.status, 200);
  EXPECT_NE(php.body.find("PHP Version"), std::string::npos);
  EXPECT_EQ(php.body.find("<?php"), std::string::npos);
  const std::string ping =
      "mariadb-admin --defaults-file='" + root + "MySql/my.ini' -u root --connect-timeout=2 ping";
  while (Shell(ping).first != 0 && MsSince(t0) < 20000)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Shell(ping).first, 0);

  EXPECT_EQ(web.Stop(), 0);
  EXPECT_EQ(db.Stop(), 0);
  EXPECT_TRUE(TickUntil(
      registry, [&] { return web.State() == tessary::Stopped && db.State() == tessary::Stopped; }, 15000));
  EXPECT_TRUE(WaitGone(dir, 10000));
  EXPECT_EQ(recorder.Count(tessary::kNotifyUnexpectedEnd), 0);
  EXPECT_EQ(recorder.Count(tessary::kNotifyBadConfig), 0);
}

}  // namespace

namespace {

TEST(ServerStackTest, SettingsReachBothServers) {
  const std::string root = MakeRoot("settings");
  const fs::path config = fs::path(root) / "config";
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string savedConfig = oldConfig != nullptr ? oldConfig : "";
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  {
    tessary::ServerStack stack(root, fs::path(root) / "state");
    EXPECT_EQ(tessary::ServerRegistry::kSlots, 10U);
    EXPECT_EQ(stack.registry().Slot(0), &stack.database());  // the database server first
    EXPECT_EQ(stack.registry().Slot(1), &stack.web());
    tessary::Settings settings(root);
    settings.startAsServices = true;
    settings.autoReloadConf = true;
    settings.checkServerPorts = false;
    stack.ApplySettings(settings, "--skip-name-resolve");
    EXPECT_TRUE(stack.web().ServiceMode());
    EXPECT_TRUE(stack.database().ServiceMode());
    EXPECT_TRUE(stack.web().AutoReload());
    EXPECT_TRUE(stack.database().AutoReload());
    EXPECT_FALSE(stack.registry().checkServerPorts);
    EXPECT_EQ(stack.database().Arguments(), "--skip-name-resolve");
    stack.SetServiceMode(false);
    EXPECT_FALSE(stack.web().ServiceMode());
    EXPECT_FALSE(stack.database().ServiceMode());
  }
  if (savedConfig.empty())
    ::unsetenv("XDG_CONFIG_HOME");
  else
    ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  std::error_code ec;
  fs::remove_all(root, ec);
}

}  // namespace
