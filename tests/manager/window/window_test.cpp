// The manager's window over a stack laid out by install mode, with its two
// real servers on free ports: the menus as the servers' states make them,
// the local pages, the PHP template watch, the extensions dialog, an outside
// kill, the switch to services and back, the language, the exit.
#include <signal.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "manager/config/conf_files.h"
#include "manager/config/stack_layout.h"
#include "manager/servers/server_stack.h"
#include "manager/ui/main_window.h"
#include "manager/ui/php_extensions_dialog.h"
#include "manager/ui/settings_dialog.h"
#include "stack_fixture.h"
#include "test_window.h"

namespace {

using namespace stacktest;
using tessary::ui::MainWindow;

using managerwindowtest::TestWindow;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string Block(const std::string& text) {
  const auto a = text.find(";PHPExt");
  const auto b = text.find(";/PHPExt");
  return a == std::string::npos || b == std::string::npos ? std::string() : text.substr(a, b - a);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 public:
  // Ends whatever the tests left running below the root, and removes it.
  void cleanUp() {
    m_window.reset();
    m_stack.reset();
    if (!m_root.empty()) KillLeftovers(m_root);
    std::error_code ec;
    if (!m_root.empty()) fs::remove_all(m_root, ec);
    if (!m_env.empty()) fs::remove_all(m_env, ec);
    m_root.clear();
  }

 private:
  QAction* action(int id) { return m_window->action(id); }
  tessary::CApache& web() { return m_stack->web(); }
  tessary::CMySql& db() { return m_stack->database(); }
  QString state() {
    const auto* list = m_window->findChild<QListWidget*>("logList");
    QString s = QString("web %1 service %2 pending %3, db %4 service %5 pending %6\n")
                    .arg(web().State())
                    .arg(web().ServiceMode())
                    .arg(web().RestartPending())
                    .arg(db().State())
                    .arg(db().ServiceMode())
                    .arg(db().RestartPending());
    for (int i = 0; i < list->count(); ++i) s += list->item(i)->text() + "\n";
    for (const auto& e : tessary::platform::ListProcesses())
      for (const pid_t pid : ProcessesOf(m_root))
        if (e.pid == pid) s += QString("left: %1 %2 (cwd %3)\n").arg(pid).arg(e.argv0.c_str(), e.cwd.c_str());
    return s + m_window->messages.join("\n");
  }
  int logCount(const QString& part) {
    const auto* list = m_window->findChild<QListWidget*>("logList");
    int n = 0;
    for (int i = 0; i < list->count(); ++i) n += list->item(i)->text().contains(part) ? 1 : 0;
    return n;
  }
  bool waitHttp(const std::string& path, const std::string& body, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
          const HttpReply r = HttpGet(m_webPort, path);
          return r.status == 200 && (body.empty() || r.body == body);
        },
        timeoutMs);
  }
  // The database server answers its client (it has finished starting).
  bool waitDatabase(int timeoutMs) {
    const std::string ping =
        "mariadb-admin --defaults-file='" + m_root + "MySql/my.ini' -u root --connect-timeout=2 ping";
    return QTest::qWaitFor([&] { return Shell(ping).first == 0; }, timeoutMs);
  }
  // The row of a server: its ports, process and uptime as the window shows them.
  QStringList row(const QString& server) {
    QStringList texts;
    for (const char* column : {"Ports", "Pid", "Uptime"})
      texts << m_window->findChild<QLabel*>(server + column)->text();
    return texts;
  }
  void startOne(int target) {
    m_window->prepareServerMenu(target);
    QVERIFY(action(tessary::kCmdPopupStart)->isEnabled());
    action(tessary::kCmdPopupStart)->trigger();
    QVERIFY2(QTest::qWaitFor([&] { return m_window->model().Server(target).IsRunning(); }, 30000),
             qPrintable(m_window->messages.join("\n")));
  }

 private slots:
  void initTestCase() {
    m_root = testenv::MakeTempFolder("window").string() + "/";
    m_env = testenv::MakeTempFolder("window-env");
    for (const char* d : {"config", "state", "run"}) fs::create_directories(m_env / d);
    fs::permissions(m_env / "run", fs::perms::owner_all);
    ::setenv("TESSARY_ROOT", m_root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_env / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (m_env / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_env / "run").c_str(), 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("TESSARY_TRACE");

    std::vector<std::string> messages;
    QCOMPARE(tessary::LayOutStack(m_root, tessary::FindStackTools(), messages), 0);
    m_webPort = FreePort();
    m_dbPort = FreePort();
    const std::string httpd = testenv::ReadFile(m_root + "conf_files/httpd.conf");
    testenv::WriteFile(
        m_root + "conf_files/httpd.conf",
        ReplaceAll(httpd, "Listen 127.0.0.1:80\n", "Listen 127.0.0.1:" + std::to_string(m_webPort) + "\n"));
    testenv::WriteFile(m_root + "conf_files/my.ini",
                       ReplaceAll(testenv::ReadFile(m_root + "conf_files/my.ini"), "port=3306",
                                  "port=" + std::to_string(m_dbPort)));
    testenv::WriteFile(
        m_root + "Tessary.ini",
        "[Tessary]\nAutoStartServers=N\nCheckServerPorts=Y\nShowAlways=N\nExpandPos=Y\nLang=English\n");
    testenv::WriteFile(m_root + "www/charset.php", "<?php echo ini_get('default_charset');\n");
    QCOMPARE(tessary::RegenerateConfFiles(m_root), 0);

    m_stack = std::make_unique<tessary::ServerStack>(m_root, m_env / "state");
    m_window = std::make_unique<TestWindow>(*m_stack, tessary::Switches{});
    m_window->show();
    m_window->Initialise();
  }

  void opensWithNothingStarted() {
    QCOMPARE(m_window->windowTitle(), QString("Tessary"));
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->hasTray());  // the window stays the way in
    QCOMPARE(web().State(), tessary::Stopped);
    QCOMPARE(db().State(), tessary::Stopped);
    QCOMPARE(m_window->findChild<QLabel*>("webState")->text(), QString("Stopped").leftJustified(20));
    m_window->prepareTrayMenu();
    QCOMPARE(action(tessary::kCmdToggle)->text(), QString("&Start\tF2"));
    QVERIFY(action(tessary::kCmdToggle)->isEnabled());
    QVERIFY(!action(tessary::kCmdBrowse)->isEnabled());
    m_window->runCommand(tessary::kCmdBrowse);
    QVERIFY(m_window->addresses.isEmpty());
  }

  void webServerAloneIsStoppedByF3() {
    startOne(tessary::kTargetWeb);
    m_window->prepareTrayMenu();
    QCOMPARE(action(tessary::kCmdToggle)->text(), QString("&Stop\tF3"));
    QVERIFY(action(tessary::kCmdToggle)->isEnabled());
    // The row shows the running server's port, process and uptime, on the
    // refresh that follows.
    QVERIFY(QTest::qWaitFor([&] { return row("web")[1] == QString::number(web().Pid()); }, 5000));
    QCOMPARE(row("web")[0], QString::number(m_webPort));
    QVERIFY2(QRegularExpression("^[0-9]+:[0-5][0-9]:[0-5][0-9]$").match(row("web")[2]).hasMatch(),
             qPrintable(row("web")[2]));
    m_window->runCommand(tessary::kCmdStop);
    QVERIFY(QTest::qWaitFor([&] { return web().State() == tessary::Stopped; }, 10000));
    QVERIFY(QTest::qWaitFor(
        [&] {
          return row("web") == QStringList({QString::number(m_webPort), "", ""});
        },
        5000));
    startOne(tessary::kTargetWeb);
    m_window->prepareTrayMenu();
    QVERIFY(!action(tessary::kCmdRestart)->isEnabled());
    QVERIFY(!action(tessary::kCmdPhpMyAdmin)->isEnabled());
    QVERIFY(action(tessary::kCmdBrowse)->isEnabled());
    m_window->runCommand(tessary::kCmdBrowse);
    m_window->runCommand(tessary::kCmdAdministration);
    QCOMPARE(m_window->addresses, QStringList({QString("http://127.0.0.1:%1/").arg(m_webPort),
                                               QString("http://127.0.0.1:%1/home/").arg(m_webPort)}));
    QVERIFY(waitHttp("/", "", 10000));
    // The administration entry's page is there.
    const HttpReply admin = HttpGet(m_webPort, "/home/");
    QCOMPARE(admin.status, 200);
    QVERIFY(admin.body.find("Administration of the local stack") != std::string::npos);
  }

  void bothRunningOfferStopAndRestart() {
    startOne(tessary::kTargetDatabase);
    QVERIFY(QTest::qWaitFor(
        [&] { return m_window->findChild<QLabel*>("databaseState")->text().startsWith("Started"); }, 2000));
    QVERIFY(QTest::qWaitFor([&] { return row("database")[1] == QString::number(db().Pid()); }, 5000));
    QCOMPARE(row("database")[0], QString::number(m_dbPort));
    QVERIFY(!row("database")[2].isEmpty());
    m_window->prepareTrayMenu();
    QCOMPARE(action(tessary::kCmdToggle)->text(), QString("&Stop\tF3"));
    QVERIFY(action(tessary::kCmdRestart)->isEnabled());
    QVERIFY(action(tessary::kCmdPhpMyAdmin)->isEnabled());
    m_window->prepareServerMenu(tessary::kTargetDatabase);
    QVERIFY(!action(tessary::kCmdPopupStart)->isEnabled());
    QVERIFY(action(tessary::kCmdPopupStop)->isEnabled());
    QCOMPARE(m_window->serverMenu()->defaultAction(), action(tessary::kCmdPopupStop));
    m_window->model().SetPopupTarget(tessary::kTargetNone);
  }

  void phpTemplateChangeRegeneratesAndRestartsTheWebServer() {
    QVERIFY(waitHttp("/charset.php", "UTF-8", 10000));
    const std::string tmpl = m_window->engine().phpTemplate();
    testenv::WriteFile(tmpl, testenv::ReadFile(tmpl) + "default_charset = \"ISO-8859-1\"\n");
    QVERIFY(QTest::qWaitFor(
        [&] {
          return testenv::ReadFile(m_window->engine().phpLive()).find("ISO-8859-1") != std::string::npos &&
                 logCount("PHP    : Configuration file changed") == 1;
        },
        5000));
    QVERIFY(testenv::ReadFile(m_window->engine().phpLive()).find("IMPORTANT") != std::string::npos);
    // The web server's PHP engine has read the new file.
    QVERIFY(waitHttp("/charset.php", "ISO-8859-1", 20000));
    QVERIFY2(m_window->messages.isEmpty(), qPrintable(m_window->messages.join("\n")));
  }

  void extensionsApplyWithUnchangedEntriesRewritesTheSameBlock() {
    const std::string tmpl = m_window->engine().phpTemplate();
    const std::string before = testenv::ReadFile(tmpl);
    tessary::ui::PhpExtensionsDialog dialog(m_window->engine(), tmpl, m_window.get());
    dialog.refresh();
    auto* list = dialog.findChild<QListWidget*>("extensions");
    QVERIFY(list->count() > 0);
    QCOMPARE(static_cast<std::size_t>(list->count()), dialog.model().entries().size());
    dialog.apply();
    QCOMPARE(testenv::ReadFile(tmpl), before);

    // One that can be used and is off, switched on and written on.
    int loadable = -1;
    for (int i = 0; i < list->count() && loadable < 0; ++i)
      if (dialog.model().entries()[static_cast<std::size_t>(i)].loads &&
          !dialog.model().entries()[static_cast<std::size_t>(i)].on)
        loadable = i;
    QVERIFY(loadable >= 0);
    list->item(loadable)->setCheckState(Qt::Checked);
    QVERIFY(dialog.findChild<QPushButton*>("apply")->isEnabled());
    dialog.apply();
    const std::string name = dialog.model().entries()[static_cast<std::size_t>(loadable)].name;
    const std::string after = testenv::ReadFile(tmpl);
    QVERIFY(Block(after).find("\nextension=" + name + ".so\n") != std::string::npos);
    QCOMPARE(after.substr(after.find(";/PHPExt")), before.substr(before.find(";/PHPExt")));
    list->item(loadable)->setCheckState(Qt::Unchecked);
    dialog.apply();
    QCOMPARE(testenv::ReadFile(tmpl), before);
    // The web server comes back from the restarts these writes asked for.
    QVERIFY(waitHttp("/charset.php", "ISO-8859-1", 20000));
  }

  void outsideKillOfTheDatabaseIsLoggedOnce() {
    QVERIFY(db().IsRunning());
    QCOMPARE(::kill(db().Pid(), SIGKILL), 0);
    QVERIFY(QTest::qWaitFor([&] { return db().State() == tessary::Stopped; }, 10000));
    QTest::qWait(2 * tessary::kTimerPeriodMs);
    QCOMPARE(logCount("MySql  : Unexpected end of MySql !"), 1);
    QCOMPARE(logCount("Unexpected end of Apache !"), 0);
    startOne(tessary::kTargetDatabase);
  }

  void serviceSwitchReRegistersAndRestartsBoth() {
    if (!web().IsRunning()) startOne(tessary::kTargetWeb);
    if (!db().IsRunning()) startOne(tessary::kTargetDatabase);
    QVERIFY(waitDatabase(30000));
    tessary::Settings& s = m_window->engine().settings();
    s.startAsServices = true;
    m_window->settingsClosed(false);
    QVERIFY(m_window->model().ServiceSwitchPending());
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                   return web().ServiceMode() && db().ServiceMode() && web().IsRunning() && db().IsRunning();
                 },
                 60000),
             qPrintable(m_window->messages.join("\n")));
    QVERIFY(m_stack->services().Open("Apache"));
    QVERIFY(m_stack->services().Open("MySQL"));
    QVERIFY(waitHttp("/charset.php", "", 20000));
    QVERIFY(waitDatabase(30000));

    s.startAsServices = false;
    m_window->settingsClosed(true);
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                   return !web().ServiceMode() && !db().ServiceMode() && web().IsRunning() &&
                          db().IsRunning();
                 },
                 60000),
             qPrintable(state()));
    QVERIFY(!m_stack->services().Open("Apache"));
    QVERIFY(!m_stack->services().Open("MySQL"));
    QVERIFY2(m_window->messages.isEmpty(), qPrintable(m_window->messages.join("\n")));
  }

  void languageChoiceRelabelsTheMenus() {
    QCOMPARE(action(tessary::kCmdQuit)->text(), QString("&Exit"));
    tessary::ui::SettingsDialog dialog(m_window->engine(), m_window.get());
    auto* combo = dialog.findChild<QComboBox*>("language");
    const int french = combo->findText(QString::fromUtf8("Français"));
    QVERIFY(french > 0);
    combo->setCurrentIndex(french);
    emit combo->activated(french);
    QVERIFY(dialog.findChild<QPushButton*>("apply")->isEnabled());
    dialog.accept();  // closed without Apply: the language stays chosen
    m_window->settingsClosed(false);
    const QString quit = action(tessary::kCmdQuit)->text();
    QCOMPARE(quit, QString::fromUtf8(m_window->engine().LoadText(32842)));
    QVERIFY(quit != "&Exit");
    QVERIFY(testenv::ReadFile(m_root + "Tessary.ini").find("Lang=Français") != std::string::npos);
  }

  void closingTheWindowExitsAndStopsBoth() {
    QSignalSpy exited(m_window.get(), &MainWindow::exited);
    m_window->close();
    QCOMPARE(exited.count(), 1);
    QVERIFY2(WaitGone(m_root, 45000), qPrintable(state()));
  }

  void aQuestionStillOpenIsAnsweredNoWhenTheManagerEnds() {
    // The window's own question box, not the test's record of it.
    MainWindow window(*m_stack, tessary::Switches{});
    QSignalSpy exited(&window, &MainWindow::exited);
    bool boxWasOpen = false;
    QTimer::singleShot(0, &window, [&] {
      boxWasOpen = window.findChild<QMessageBox*>("questionBox") != nullptr;
      window.exitManager();  // what SIGTERM and a later "-quit" do
    });
    QVERIFY(!window.engine().AskRemovableDriveQuestion());
    QVERIFY(boxWasOpen);
    QCOMPARE(exited.count(), 1);
    // The main loop, started after the quit was asked, ends at once.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    guard.start(30000);
    QCOMPARE(QApplication::exec(), 0);
  }

  void secondLaunchWithQuitEndsTheManagerAndBothServers() {
    QVERIFY2(WaitGone(m_root, 45000), qPrintable(state()));
    QProcess manager;
    manager.setProcessChannelMode(QProcess::ForwardedChannels);
    manager.start(TESSARY_PROGRAM, {"-start"});
    QVERIFY(manager.waitForStarted(5000));
    QVERIFY(waitHttp("/", "", 30000));
    QVERIFY(waitDatabase(30000));
    QCOMPARE(Shell(std::string(TESSARY_PROGRAM) + " -quit").first, 0);
    QVERIFY(manager.waitForFinished(30000));
    QCOMPARE(manager.exitCode(), 0);
    QVERIFY2(WaitGone(m_root, 45000), qPrintable(state()));
  }

  void cleanupTestCase() { cleanUp(); }

 private:
  std::string m_root;
  fs::path m_env;
  int m_webPort = 0;
  int m_dbPort = 0;
  std::unique_ptr<tessary::ServerStack> m_stack;
  std::unique_ptr<TestWindow> m_window;
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  WindowTest test;
  const int result = QTest::qExec(&test, argc, argv);
  test.cleanUp();  // also after a failed or skipped clean-up slot
  return result;
}

#include "window_test.moc"
