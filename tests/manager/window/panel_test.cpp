// The window's server rows without servers running: the log viewer, the
// built-in editor of the templates and an outside one, the menu entries
// that reach them, the introduction and the close to the tray.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <fstream>
#include <memory>

#include "manager/config/conf_files.h"
#include "manager/config/stack_layout.h"
#include "manager/servers/server_stack.h"
#include "manager/ui/introduction_dialog.h"
#include "manager/ui/log_viewer.h"
#include "manager/ui/main_window.h"
#include "manager/ui/text_editor.h"
#include "support/test_env.h"
#include "test_window.h"

namespace fs = std::filesystem;
using managerwindowtest::TestWindow;
using tessary::ui::LogViewer;
using tessary::ui::TextEditor;

class PanelTest : public QObject {
  Q_OBJECT

 public:
  void cleanUp() {
    m_window.reset();
    m_stack.reset();
    std::error_code ec;
    if (!m_root.empty()) fs::remove_all(m_root, ec);
    if (!m_env.empty()) fs::remove_all(m_env, ec);
    m_root.clear();
  }

 private:
  template <typename T>
  T* child(const char* name) {
    T* c = m_window->findChild<T*>(name);
    if (c == nullptr) qWarning("no %s", name);
    return c;
  }
  void click(const char* button) { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }
  QString logText() { return child<QPlainTextEdit>("logText")->toPlainText(); }
  TextEditor* openWebEditor() {
    click("webConfig");
    return child<TextEditor>("textEditor");
  }

 private slots:
  void initTestCase() {
    m_root = testenv::MakeTempFolder("panel").string() + "/";
    m_env = testenv::MakeTempFolder("panel-env");
    for (const char* d : {"config", "state", "run"}) fs::create_directories(m_env / d);
    fs::permissions(m_env / "run", fs::perms::owner_all);
    ::setenv("TESSARY_ROOT", m_root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_env / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (m_env / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_env / "run").c_str(), 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    std::vector<std::string> messages;
    QCOMPARE(tessary::LayOutStack(m_root, tessary::FindStackTools(), messages), 0);
    testenv::WriteFile(m_root + "Tessary.ini",
                       "[Tessary]\nAutoStartServers=N\nShowAlways=N\nExpandPos=N\nLang=English\n");
    QCOMPARE(tessary::RegenerateConfFiles(m_root), 0);
    m_stack = std::make_unique<tessary::ServerStack>(m_root, m_env / "state");
    m_window = std::make_unique<TestWindow>(*m_stack, tessary::Switches{});
    m_window->show();
    m_window->Initialise();
  }

  void stoppedServersShowTheirPortsAndNoProcess() {
    QCOMPARE(child<QLabel>("portsTitle")->text(), QString("Ports"));
    QCOMPARE(child<QLabel>("webPorts")->text(), QString("80"));
    QCOMPARE(child<QLabel>("databasePorts")->text(), QString("3306"));
    QCOMPARE(child<QLabel>("webPid")->text(), QString());
    QCOMPARE(child<QLabel>("webUptime")->text(), QString());
    QCOMPARE(child<QPushButton>("webLogs")->text(), QString("Logs"));
    QCOMPARE(child<QPushButton>("databaseConfig")->text(), QString("Config"));
  }

  void theLogViewerShowsALineAppendedAfterItOpened() {
    const std::string error = m_root + "Apache/logs/error.log";
    fs::remove(m_root + "Apache/logs/access.log");
    testenv::WriteFile(error, "[core:notice] first line\n");
    click("webLogs");
    auto* viewer = child<LogViewer>("logViewer");
    QVERIFY(viewer != nullptr && viewer->isVisible());
    QCOMPARE(logText(), QString("[core:notice] first line"));
    std::ofstream(error, std::ios::app) << "[core:error] written later\n";
    QVERIFY(QTest::qWaitFor([&] { return logText().endsWith("\n[core:error] written later"); }, 10000));

    // The access log, not there yet, then once the server has written it.
    auto* choice = child<QComboBox>("logChoice");
    QCOMPARE(choice->count(), 2);
    QCOMPARE(choice->itemText(1), QString("Access log"));
    viewer->select(1);
    QVERIFY(logText().startsWith("The log file does not exist yet"));
    testenv::WriteFile(m_root + "Apache/logs/access.log", "127.0.0.1 GET /\n");
    QVERIFY(QTest::qWaitFor([&] { return logText() == "127.0.0.1 GET /"; }, 10000));

    // The menu entry reaches the same viewer, on the log it names.
    m_window->runCommand(tessary::kCmdApacheErrorLog);
    QCOMPARE(m_window->findChildren<LogViewer*>().size(), 1);
    QCOMPARE(viewer->selected(), 0);
    QVERIFY(logText().contains("written later"));
    viewer->close();
    QVERIFY2(m_window->messages.isEmpty(), qPrintable(m_window->messages.join("\n")));
  }

  void theBuiltInEditorSavesTheTemplateAndDiscardingWritesNothing() {
    const std::string path = m_stack->web().ConfFileForEditing();
    const std::string before = testenv::ReadFile(path);
    TextEditor* editor = openWebEditor();
    QVERIFY(editor != nullptr && editor->isVisible());
    QCOMPARE(editor->path(), path);
    auto* text = editor->findChild<QPlainTextEdit*>("editorText");
    auto* save = editor->findChild<QPushButton*>("save");
    QCOMPARE(text->toPlainText().toStdString(), before);
    QVERIFY(!save->isEnabled());

    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, "# panel");
    QTest::keyClick(text, Qt::Key_Return);
    QVERIFY(save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(testenv::ReadFile(path), before + "# panel\n");
    QVERIFY(!editor->modified());
    const auto files = std::distance(fs::directory_iterator(fs::path(path).parent_path()), {});

    // Unsaved changes: "No" keeps the editor, "Yes" closes it, and neither
    // writes the file.
    QTest::keyClicks(text, "Listen 1");
    m_window->answer = false;
    QTest::mouseClick(editor->findChild<QPushButton*>("close"), Qt::LeftButton);
    QCOMPARE(m_window->messages.size(), 1);
    QVERIFY(editor->isVisible());
    QPointer<TextEditor> guard(editor);
    m_window->answer = true;
    QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return guard == nullptr; }, 5000));
    QCOMPARE(testenv::ReadFile(path), before + "# panel\n");
    QCOMPARE(std::distance(fs::directory_iterator(fs::path(path).parent_path()), {}), files);
    m_window->messages.clear();
  }

  void anEditorInTheSettingsOpensTemplatesAndLogs() {
    const std::string marker = m_env.string() + "/opened";
    // An editor with an argument of its own before the file.
    const fs::path script = m_env / "my editor";
    testenv::WriteFile(script, "#!/bin/sh\n[ \"$1\" = --new ] && echo \"$2\" >> \"" + marker + "\"\n");
    fs::permissions(script, fs::perms::owner_all);
    m_window->engine().settings().editor = "\"" + script.string() + "\" --new";
    click("webConfig");
    QVERIFY(m_window->findChild<TextEditor*>() == nullptr);
    m_window->runCommand(tessary::kCmdMySqlErrorLog);
    // The two editors run side by side: either may write first.
    QStringList expected{QString::fromStdString(m_stack->web().ConfFileForEditing()),
                         QString::fromStdString(m_stack->database().ErrorLogPath())};
    expected.sort();
    const auto opened = [&] {
      QStringList lines = QString::fromStdString(testenv::ReadFile(marker)).split('\n', Qt::SkipEmptyParts);
      lines.sort();
      return lines;
    };
    QVERIFY(QTest::qWaitFor([&] { return opened().size() >= 2; }, 10000));
    QCOMPARE(opened(), expected);
    QVERIFY(m_window->findChild<LogViewer*>() == nullptr);
    QVERIFY(m_window->messages.isEmpty());

    // One that cannot be started is told, with the file it was to open.
    m_window->engine().settings().editor = m_env.string() + "/no-such-editor";
    m_window->runCommand(tessary::kCmdEditPhpConf);
    QCOMPARE(m_window->messages.size(), 1);
    QVERIFY(m_window->messages[0].contains("no-such-editor\" cannot be started"));
    QVERIFY(m_window->messages[0].contains(QString::fromStdString(m_window->engine().phpTemplate())));
    m_window->messages.clear();
    m_window->engine().settings().editor.clear();
  }

  void theQuestionMarkOpensTheIntroduction() {
    click("helpPicture");
    QCOMPARE(m_window->files, QStringList{QString::fromStdString(m_root + "home/accueil.html")});
    // No program for the page: the manager shows it itself.
    m_window->filesOpen = false;
    click("helpPicture");
    auto* intro = child<tessary::ui::IntroductionDialog>("introduction");
    QVERIFY(intro != nullptr && intro->isVisible());
    const QString shown = intro->findChild<QTextBrowser*>("introductionText")->toPlainText();
    QVERIFY(shown.contains("Logs") && shown.contains("Config"));
    intro->close();
    m_window->filesOpen = true;
  }

  void closingHidesToTheTrayWhenThereIsOne() {
    if (!m_window->hasTray()) QSKIP("no system tray on this display: closing ends the manager (window test)");
    QSignalSpy exited(m_window.get(), &tessary::ui::MainWindow::exited);
    m_window->close();
    QVERIFY(!m_window->isVisible());
    QCOMPARE(exited.count(), 0);
    m_window->action(tessary::kCmdQuit)->trigger();
    QCOMPARE(exited.count(), 1);
  }

  void cleanupTestCase() { cleanUp(); }

 private:
  std::string m_root;
  fs::path m_env;
  std::unique_ptr<tessary::ServerStack> m_stack;
  std::unique_ptr<TestWindow> m_window;
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  PanelTest test;
  const int result = QTest::qExec(&test, argc, argv);
  test.cleanUp();
  return result;
}

#include "panel_test.moc"
