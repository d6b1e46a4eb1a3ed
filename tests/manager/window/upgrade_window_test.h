// The upgrade and version check as the window runs them, against a small
// HTTP server on the loopback address: the check after start-up, the
// dialog's list, OK and Cancel while a transfer hangs, and the messages of
// a check the user asked for. The test object lives in this header so that
// its meta-object code is built on its own.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "manager/servers/server_stack.h"
#include "manager/ui/main_window.h"
#include "manager/ui/upgrade_dialog.h"
#include "manager/upgrade/file_version.h"
#include "support/http_test_server.h"
#include "support/test_env.h"
#include "test_window.h"

namespace upgradewindowtest {

namespace fs = std::filesystem;
using tessary::ui::MainWindow;
using tessary::ui::UpgradeDialog;
using Reply = testenv::HttpTestServer::Reply;

inline constexpr const char* kNewX = "new x";
inline constexpr const char* kNewXHash = "c712c3d253238f20c24b505982d3aa5d234d906c";

}  // namespace upgradewindowtest

class UpgradeWindowTest : public QObject {
  Q_OBJECT

  using TestWindow = managerwindowtest::TestWindow;
  using UpgradeDialog = tessary::ui::UpgradeDialog;
  using Reply = upgradewindowtest::Reply;
  static constexpr const char* kNewX = upgradewindowtest::kNewX;
  static constexpr const char* kNewXHash = upgradewindowtest::kNewXHash;

 private:
  std::string root() const { return m_root; }
  void serve(const std::string& hashes) {
    m_server.Set("/up/upgrade/1801.dat", "x;4;0;5\ny;9;0;1\n");
    m_server.Set("/hs/check/hash.dat", hashes);
    m_server.Set("/up/upgrade/get.php", kNewX);
    m_server.Set("/vc/checktessary.php3", "TessaryVersion=9.9.9.9\nFaster\n");
  }
  // Runs a check and waits until it is over.
  bool waitChecked(int timeoutMs) {
    return QTest::qWaitFor([&] { return !m_window->checkingVersion(); }, timeoutMs);
  }
  UpgradeDialog* waitDialog() {
    if (!QTest::qWaitFor(
            [&] { return m_window->upgradeDialog() != nullptr && m_window->upgradeDialog()->isVisible(); },
            20000))
      return nullptr;
    return m_window->upgradeDialog();
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_server.port() != 0);
    m_root = testenv::MakeTempFolder("upgrade-window").string() + "/";
    m_env = testenv::MakeTempFolder("upgrade-window-env");
    for (const char* d : {"config", "state", "run"}) std::filesystem::create_directories(m_env / d);
    std::filesystem::permissions(m_env / "run", std::filesystem::perms::owner_all);
    ::setenv("TESSARY_ROOT", m_root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_env / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (m_env / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_env / "run").c_str(), 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    const std::string base = m_server.base();
    testenv::WriteFile(m_root + "Tessary.ini",
                       "[Tessary]\nAutoStartServers=N\nCheckVersion=Y\nShowAlways=N\nLang=English\n"
                       "[Servers]\nUpgradeServer=" +
                           base + "up/\nHashServer=" + base + "hs/\nVersionServer=" + base +
                           "vc/\nHomePage=" + base + "home/\n");
    testenv::WriteFile(m_root + "upgrade.dat", "x;3\n");
    testenv::WriteFile(m_root + "x", "old x");
    serve(std::string("x;") + kNewXHash + "\n");
    m_stack = std::make_unique<tessary::ServerStack>(m_root, m_env / "state");
    m_window = std::make_unique<TestWindow>(*m_stack, tessary::Switches{});
    m_window->answer = true;
    m_window->show();
    m_window->Initialise();
    // Only what the check says counts here (not the question for a program
    // on removable media, should the build folder be on one).
    m_window->messages.clear();
  }

  // After start-up the dialog shows the candidate checked and the file
  // without a hash grey; OK installs it, then the new release is offered.
  void startUpCheckOffersTheUpgradeThenTheRelease() {
    UpgradeDialog* dialog = waitDialog();
    QVERIFY2(dialog != nullptr, qPrintable(m_window->messages.join("\n")));
    auto* list = dialog->findChild<QTreeWidget*>("fileList");
    QCOMPARE(list->topLevelItemCount(), 2);
    QTreeWidgetItem* x = list->topLevelItem(0);
    QTreeWidgetItem* y = list->topLevelItem(1);
    QCOMPARE(x->text(0), QString("x"));
    QCOMPARE(x->text(1), QString("3"));
    QCOMPARE(x->text(2), QString("4"));
    QCOMPARE(x->text(3), QString("5"));
    QCOMPARE(x->text(4), QString(kNewXHash));
    QCOMPARE(x->checkState(0), Qt::Checked);
    QCOMPARE(y->text(1), QString("  -  "));
    QCOMPARE(y->background(0).color(), QColor(200, 200, 200));
    y->setCheckState(0, Qt::Checked);  // refused
    QCOMPARE(y->checkState(0), Qt::Unchecked);
    auto* ok = dialog->findChild<QPushButton*>("ok");
    QVERIFY(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(waitChecked(20000));
    QCOMPARE(testenv::ReadFile(root() + "x"), std::string(kNewX));
    QCOMPARE(testenv::ReadFile(root() + "upgrade.dat"), std::string("x;4\ny;0\n"));
    QCOMPARE(
        m_window->messages,
        QStringList{
            "Tessary: A new version (9.9.9.9) is available. Go to the Tessary web ?\nv 9.9.9.9:\nFaster\n"});
    QCOMPARE(m_window->addresses, QStringList{QString::fromStdString(m_server.base() + "home/")});
  }

  // Cancel while a download hangs ends the dialog at once and writes the
  // list as it stands; the window answered all along.
  void cancelDuringAHangingDownload() {
    m_window->messages.clear();
    testenv::WriteFile(root() + "upgrade.dat", "x;3\n");
    m_server.Set("/up/upgrade/get.php", Reply{200, "n", Reply::Kind::Stall, {}});
    m_server.Set("/vc/checktessary.php3",
                 "TessaryVersion=" + tessary::VersionText(tessary::ProgramVersion()));
    m_window->runCommand(tessary::kCmdCheckVersion);
    UpgradeDialog* dialog = waitDialog();
    QVERIFY(dialog != nullptr);
    auto* ok = dialog->findChild<QPushButton*>("ok");
    QVERIFY(QTest::qWaitFor([&] { return ok->isEnabled(); }, 20000));  // the lists are in
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return dialog->busy(); }, 5000));
    QTest::mouseClick(dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    QVERIFY(waitChecked(20000));
    QCOMPARE(testenv::ReadFile(root() + "x"), std::string(kNewX));  // untouched
    QCOMPARE(QString::fromStdString(testenv::ReadFile(root() + "upgrade.dat")), QString("x;3\ny;0\n"));
    QVERIFY2(m_window->messages.isEmpty(), qPrintable(m_window->messages.join("\n")));  // same version
  }

  // Asked for, a missing hash list is said; nothing is written.
  void manualCheckShowsAMissingHashList() {
    m_window->messages.clear();
    m_server.Remove("/hs/check/hash.dat");
    m_window->runCommand(tessary::kCmdCheckVersion);
    QVERIFY(waitChecked(20000));
    QCOMPARE(m_window->messages, QStringList{"Tessary: ERROR : Can't retrieve hash data from Web"});
    QCOMPARE(QString::fromStdString(testenv::ReadFile(root() + "upgrade.dat")), QString("x;3\ny;0\n"));
  }

  void cleanupTestCase() {
    m_window.reset();
    m_stack.reset();
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
    std::filesystem::remove_all(m_env, ec);
  }

 private:
  testenv::HttpTestServer m_server;
  std::string m_root;
  std::filesystem::path m_env;
  std::unique_ptr<tessary::ServerStack> m_stack;
  std::unique_ptr<TestWindow> m_window;
};
