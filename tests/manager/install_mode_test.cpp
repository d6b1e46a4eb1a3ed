#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <regex>
#include <string>
#include <vector>

#include "manager/app/engine.h"
#include "manager/config/conf_files.h"
#include "manager/config/stack_layout.h"
#include "manager/platform/ini_file.h"
#include "manager/servers/apache.h"
#include "manager/servers/mysql.h"
#include "manager/servers/server_stack.h"
#include "manager_env.h"
#include "stack_fixture.h"
#include "support/test_env.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class InstallModeTest : public managertest::ManagerTest {};

// Runs a program to its end with its output in a file; the exit status.
int RunToEnd(const std::vector<std::string>& args, const fs::path& output) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  argv.reserve(copy.size() + 1);
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  pid_t pid = 0;
  const int err = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (err != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t Count(const std::string& text, const std::regex& re) {
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

TEST_F(InstallModeTest, InstallAndQuitLayOutAWorkingStackInAnEmptyRoot) {
  ASSERT_EQ(RunToEnd({TESSARY_PROGRAM, "-install", "-quit"}, base / "out.txt"), 0)
      << testenv::ReadFile(base / "out.txt");

  EXPECT_EQ(fs::read_symlink(root / "Apache" / "apache"), "/usr/sbin/apache2");
  EXPECT_EQ(fs::read_symlink(root / "MySql" / "bin" / "mysqld"), "/usr/sbin/mariadbd");
  EXPECT_EQ(fs::read_symlink(root / "MySql" / "bin" / "mysqladmin"), "/usr/bin/mariadb-admin");
  for (const char* folder :
       {"Apache/conf", "Apache/logs", "PHP/extensions", "safe", "tmp", "MySql/data/mysql"})
    EXPECT_TRUE(fs::is_directory(root / folder)) << folder;
  for (const char* file : {"www/index.html", "www/info.php", "home/accueil.html", "gpl.txt", "Tessary.ini"})
    EXPECT_GT(fs::file_size(root / file), 0u) << file;
  EXPECT_NE(testenv::ReadFile(root / "gpl.txt").find("GNU GENERAL PUBLIC LICENSE"), std::string::npos);
  EXPECT_NE(testenv::ReadFile(root / "langues.txt").find("Langue1=Français"), std::string::npos);

  // Each port is in one obvious place.
  const std::string httpd = testenv::ReadFile(root / "conf_files" / "httpd.conf");
  EXPECT_EQ(Count(httpd, std::regex("(^|\n)Listen ")), 1u);
  EXPECT_EQ(Count(httpd, std::regex("(^|\n)Port")), 0u);  // the server refuses that directive
  for (const char* directive :
       {"\nPidFile \"${path}/Apache/logs/", "\nDefaultRuntimeDir \"${path}/Apache/logs",
        "\nPHPIniDir \"${path}/Apache\"", "\nErrorLog \"${path}/Apache/logs/"})
    EXPECT_NE(httpd.find(directive), std::string::npos) << directive;
  const std::string myIni = testenv::ReadFile(root / "conf_files" / "my.ini");
  EXPECT_EQ(Count(myIni, std::regex("\nport=3306\n")), 2u);
  EXPECT_NE(myIni.find("\n[client]\nport=3306\n"), std::string::npos);
  EXPECT_NE(myIni.find("\nbind-address=127.0.0.1\n"), std::string::npos);
  const std::string php = testenv::ReadFile(root / "conf_files" / "php.ini");
  const std::size_t open = php.find(";PHPExt");
  const std::size_t close = php.find(";/PHPExt");
  ASSERT_NE(open, std::string::npos);
  ASSERT_NE(close, std::string::npos);
  EXPECT_LT(open, close);
  EXPECT_EQ(php.find(";PHPExt", open + 1), std::string::npos);  // the dialog finds the first marker
  // At most one placeholder per line: the generator replaces only the first.
  for (const std::string& t : {httpd, myIni, php})
    EXPECT_EQ(Count(t, std::regex("\\$\\{path\\}[^\n]*\\$\\{path\\}")), 0u);

  // Without a display the live files and their safe copies are written
  // all the same, and the web server accepts what was written.
  const std::pair<const char*, const char*> written[] = {
      {"Apache/conf/httpd.conf", "safe/httpd-safe.conf"},
      {"MySql/my.ini", "safe/my-safe.ini"},
      {"Apache/php.ini", "safe/php-safe.ini"},
  };
  for (const auto& [live, safe] : written) {
    const std::string text = testenv::ReadFile(root / live);
    EXPECT_NE(text.find("IMPORTANT"), std::string::npos) << live;
    EXPECT_EQ(text.find("${path}"), std::string::npos) << live;
    EXPECT_EQ(testenv::ReadFile(root / safe), text) << safe;
  }
  EXPECT_NE(testenv::ReadFile(root / "Apache" / "conf" / "httpd.conf")
                .find("DocumentRoot \"" + root.string() + "/www\""),
            std::string::npos);
  EXPECT_EQ(RunToEnd({(root / "Apache" / "apache").string(), "-d", (root / "Apache").string(), "-f",
                      (root / "Apache" / "conf" / "httpd.conf").string(), "-t"},
                     base / "check.txt"),
            0);
  EXPECT_NE(testenv::ReadFile(base / "check.txt").find("Syntax OK"), std::string::npos)
      << testenv::ReadFile(base / "check.txt");
}

TEST_F(InstallModeTest, AStackUnderAFolderWithABlankIsLaidOutAndBothServersRunOnIt) {
  root = base / "my stack";
  fs::create_directories(root);
  // The web server's children (another user when the tests run as root)
  // must reach the pages.
  fs::permissions(base, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  setEnv("TESSARY_ROOT", root.string());
  ASSERT_EQ(RunToEnd({TESSARY_PROGRAM, "-install", "-quit"}, base / "out.txt"), 0)
      << testenv::ReadFile(base / "out.txt");
  // Whatever a failure leaves running goes with the test.
  struct Leftovers {
    fs::path root;
    ~Leftovers() { stacktest::KillLeftovers(root); }
  } leftovers{root};

  // Free ports, set in the templates as a user would.
  const int webPort = stacktest::FreePort();
  const int dbPort = stacktest::FreePort();
  std::string httpd = testenv::ReadFile(root / "conf_files" / "httpd.conf");
  httpd = std::regex_replace(httpd, std::regex("\nListen 127\\.0\\.0\\.1:80\n"),
                             "\nListen 127.0.0.1:" + std::to_string(webPort) + "\n");
  testenv::WriteFile(root / "conf_files" / "httpd.conf", httpd);
  const std::string myIni = testenv::ReadFile(root / "conf_files" / "my.ini");
  testenv::WriteFile(
      root / "conf_files" / "my.ini",
      std::regex_replace(myIni, std::regex("\nport=3306\n"), "\nport=" + std::to_string(dbPort) + "\n"));
  tessary::RegenerateConfFiles(rootText());

  tessary::ServerRegistry registry;
  stacktest::Recorder notes;
  tessary::CApache web(registry, rootText());
  tessary::CMySql db(registry, rootText());
  web.SetNotificationWindow(&notes);
  db.SetNotificationWindow(&notes);
  ASSERT_EQ(web.Port(), webPort);
  ASSERT_EQ(db.Port(), dbPort);
  ASSERT_EQ(web.Start(), 0) << notes.Lines(tessary::kNotifyOutputLine);
  EXPECT_EQ(notes.Count(tessary::kNotifyBadConfig), 0) << notes.Lines(tessary::kNotifyBadConfig);
  ASSERT_EQ(db.Start(), 0) << notes.Lines(tessary::kNotifyOutputLine);
  ASSERT_TRUE(stacktest::TickUntil(
      registry, [&] { return web.IsRunning() && db.IsRunning(); }, 20000))
      << notes.Lines(tessary::kNotifyOutputLine);

  // PHP inside the web server reads the stack's php.ini below the blank.
  stacktest::HttpReply page;
  const auto t0 = stacktest::Clock::now();
  while ((page = stacktest::HttpGet(webPort, "/info.php")).status != 200 && stacktest::MsSince(t0) < 10000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find(root.string() + "/Apache/php.ini"), std::string::npos);
  // The database server answers its client on the socket below the blank.
  const std::string ping =
      "mariadb-admin --defaults-file='" + rootText() + "MySql/my.ini' -u root --connect-timeout=2 ping";
  int pinged = -1;
  while ((pinged = stacktest::Shell(ping).first) != 0 && stacktest::MsSince(t0) < 20000)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(pinged, 0) << stacktest::Shell(ping).second;

  EXPECT_EQ(web.Stop(), 0);
  EXPECT_EQ(db.Stop(), 0);
  EXPECT_TRUE(stacktest::TickUntil(
      registry, [&] { return web.State() == tessary::Stopped && db.State() == tessary::Stopped; }, 30000));
  EXPECT_TRUE(stacktest::WaitGone(root, 10000));
  EXPECT_EQ(notes.Count(tessary::kNotifyUnexpectedEnd), 0);
}

TEST_F(InstallModeTest, SafeCopiesTakeTheLiveFilesThatExist) {
  fs::create_directories(root / "Apache" / "conf");
  testenv::WriteFile(root / "Apache" / "conf" / "httpd.conf", "live web");
  testenv::WriteFile(root / "Apache" / "php.ini", "live php");
  fs::create_directories(root / "safe");
  testenv::WriteFile(root / "safe" / "php-safe.ini", "old copy");
  tessary::WriteSafeCopies(rootText());
  EXPECT_EQ(testenv::ReadFile(root / "safe" / "httpd-safe.conf"), "live web");
  EXPECT_EQ(testenv::ReadFile(root / "safe" / "php-safe.ini"), "live php");
  EXPECT_FALSE(fs::exists(root / "safe" / "my-safe.ini"));
}

TEST_F(InstallModeTest, ASecondRunKeepsWhatTheUserChanged) {
  std::vector<std::string> messages;
  const tessary::StackTools tools = tessary::FindStackTools();
  ASSERT_EQ(tessary::LayOutStack(rootText(), tools, messages), 0) << (messages.empty() ? "" : messages[0]);
  testenv::WriteFile(root / "conf_files" / "my.ini", "[mysqld]\nport=4000\n");
  testenv::WriteFile(root / "MySql" / "data" / "marker", "x");
  messages.clear();
  EXPECT_EQ(tessary::LayOutStack(rootText(), tools, messages), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(testenv::ReadFile(root / "conf_files" / "my.ini"), "[mysqld]\nport=4000\n");
  EXPECT_TRUE(fs::exists(root / "MySql" / "data" / "marker"));
}

TEST_F(InstallModeTest, MissingServerProgramsAreNamedAndTheRestIsStillLaidOut) {
  tessary::StackTools tools;  // nothing found
  std::vector<std::string> messages;
  EXPECT_NE(tessary::LayOutStack(rootText(), tools, messages), 0);
  EXPECT_FALSE(messages.empty());
  EXPECT_TRUE(fs::exists(root / "www" / "index.html"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "Apache" / "apache")));
}

// Records what the engine asks of the window and of the servers' owner.
struct Recorder : tessary::ManagerFrontend, tessary::StackControl {
  void AddLogLine(const std::string& line) override { log.push_back(line); }
  bool AskYesNo(std::string_view, std::string_view q) override {
    questions.emplace_back(q);
    return true;
  }
  void PostCommand(int command) override { commands.push_back(command); }
  void BringToFront() override { ++fronts; }
  void ApplySettings(const tessary::Settings& s, const std::string& args) override {
    applied.push_back(args + (s.startAsServices ? " services" : ""));
  }
  void SetServiceMode(bool on) override { serviceModes.push_back(on); }
  int RegenerateConfFiles() override { return ++regenerations, 0; }

  std::vector<std::string> log, questions, applied;
  std::vector<int> commands;
  std::vector<bool> serviceModes;
  int fronts = 0;
  int regenerations = 0;
};

TEST_F(InstallModeTest, TheEngineBringsUpSettingsLanguageAndServersInOrderAndInstallModeTurnsServicesOff) {
  testenv::WriteFile(root / "Tessary.ini",
                     "[Tessary]\nAutoStartServers=Y\nStartAsServices=Y\nLang=Français\n");
  testenv::WriteFile(root / "langues.txt", tessary::LanguageFileText());
  Recorder r;
  tessary::Switches switches;
  switches.Parse({"-install", "-start"});
  tessary::ManagerEngine engine(r, switches, &r);
  EXPECT_EQ(engine.languages().CurrentName(), "Français");
  ASSERT_EQ(r.applied.size(), 1u);
  EXPECT_EQ(r.applied[0], "--skip-name-resolve --language=french services");
  EXPECT_EQ(engine.Initialise(), 0);
  EXPECT_TRUE(r.questions.empty());  // install mode asks nothing
  EXPECT_FALSE(engine.settings().startAsServices);
  EXPECT_EQ(r.serviceModes, std::vector<bool>{false});
  EXPECT_EQ(r.regenerations, 1);
  engine.PostSwitches();
  EXPECT_EQ(r.commands, (std::vector<int>{tessary::kCmdStart, tessary::kCmdInstall}));
  tessary::Switches later;
  later.Parse({"-quit"});
  engine.HandOver(later);
  EXPECT_EQ(r.fronts, 1);
  EXPECT_EQ(r.commands.back(), tessary::kCmdQuit);
  EXPECT_EQ(engine.phpTemplate(), rootText() + "conf_files/php.ini");
}

TEST_F(InstallModeTest, FilesThatCannotBeUsedAreLoggedAndTheRemovableDriveQuestionRegeneratesOnYes) {
  testenv::WriteFile(root / "langues.txt", "[Liste]\nLangue0=English\n");
  fs::resize_file(root / "langues.txt", tessary::IniFile::kMaxFileBytes + 1);
  Recorder r;
  tessary::ManagerEngine engine(r, tessary::Switches{}, &r);
  EXPECT_TRUE(r.log.empty());  // nothing is shown before the window is initialised
  EXPECT_EQ(engine.Initialise(), 0);
  ASSERT_FALSE(r.log.empty());
  EXPECT_NE(r.log[0].find("langues.txt"), std::string::npos);
  EXPECT_EQ(engine.languages().Count(), 0);
  EXPECT_TRUE(engine.AskRemovableDriveQuestion());
  ASSERT_FALSE(r.questions.empty());
  EXPECT_EQ(
      r.questions.back(),
      "You're running Tessary from a removable drive. Do you want to regenerate conf files before running "
      "servers ?");
  EXPECT_EQ(r.regenerations, 1);
  EXPECT_NE(testenv::ReadFile(root / "Tessary.log").find("langues.txt"), std::string::npos);
}

TEST_F(InstallModeTest, TheWindowsStackRunsTheDatabaseProgramInstallModeHasJustLinked) {
  tessary::ServerStack stack(rootText(), base / "state");
  EXPECT_EQ(stack.database().Executable(), "");  // an empty root has none yet
  Recorder r;
  tessary::Switches switches;
  switches.Parse({"-install"});
  tessary::ManagerEngine engine(r, switches, &stack);
  ASSERT_EQ(engine.Initialise(), 0);
  EXPECT_EQ(stack.database().Executable(), rootText() + "MySql/bin/mysqld");
}

}  // namespace
