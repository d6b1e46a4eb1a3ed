// The window's commands: what each menu entry, button, shortcut and switch
// does, the dialogs it opens and the version check.
#include <QDesktopServices>
#include <QListWidget>
#include <QPoint>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include "manager/platform/system.h"
#include "manager/ui/about_dialog.h"
#include "manager/ui/icons.h"
#include "manager/ui/main_window.h"
#include "manager/ui/php_extensions_dialog.h"
#include "manager/ui/qt_text.h"
#include "manager/ui/settings_dialog.h"
#include "manager/ui/upgrade_dialog.h"
#include "manager/upgrade/file_version.h"
#include "manager/upgrade/version_check.h"

namespace tessary::ui {

void MainWindow::runCommand(int command) {
  switch (command) {
    case kCmdStart:
      if (!(m_stack.web().IsRunning() && m_stack.database().IsRunning())) m_model->StartBoth();
      break;
    case kCmdStop:
      // F3 and -stop end whatever runs, one server as well as both.
      if (m_stack.web().IsRunning() || m_stack.database().IsRunning()) m_model->StopBoth();
      break;
    case kCmdToggle:
      m_model->ToggleBoth();
      break;
    case kCmdRestart:
      m_model->RestartBoth();
      break;
    case kCmdPopupStart:
    case kCmdPopupStop:
    case kCmdPopupRestart:
    case kCmdPopupKill:
      m_model->PopupCommand(command);
      break;
    case kCmdBrowse:
      openLocalPage("");
      break;
    case kCmdAdministration:
      openLocalPage("home/");
      break;
    case kCmdPhpMyAdmin:
      openLocalPage("mysql/");
      break;
    case kCmdExplore:
      if (!openFile(QText(m_stack.web().DocumentRoot())))
        ShowMessage(m_engine->settings().programName, m_stack.web().DocumentRoot(), Icon::Error);
      break;
    case kCmdEditApacheConf:
      editFile(m_stack.web().ConfFileForEditing());
      break;
    case kCmdEditMySqlConf:
      editFile(m_stack.database().ConfFileForEditing());
      break;
    case kCmdEditPhpConf:
      editFile(m_engine->phpTemplate());
      break;
    case kCmdPhpExtensions:
      showPhpExtensions();
      break;
    case kCmdRegenerate:
      m_stack.RegenerateConfFiles();
      break;
    case kCmdApacheErrorLog:
      showLogs(kTargetWeb, 0);
      break;
    case kCmdApacheAccessLog:
      showLogs(kTargetWeb, 1);
      break;
    case kCmdMySqlErrorLog:
      showLogs(kTargetDatabase, 0);
      break;
    case kCmdManagerLog:
      showLogs(kTargetManagerLog, 0);
      break;
    case kCmdIntroduction:
      showIntroduction();
      break;
    case kCmdFaq:
      openAddress(QText(kFaqAddress));
      break;
    case kCmdPhpSite:
      openAddress(text(32850));
      break;
    case kCmdSettings:
      showSettings();
      break;
    case kCmdAbout:
      showAbout();
      break;
    case kCmdCheckVersion:
      CheckNewVersion(UpgradeMode::Manual);
      break;
    case kCmdSwitchList:
      showSwitchList();
      break;
    case kCmdQuit:
      exitManager();
      break;
    case kCmdTrayMenu:
      showTrayMenuAt(m_menuButton->mapToGlobal(QPoint(10, 10)));
      break;
    case kCmdAlwaysOnTop:
      setAlwaysOnTop(!m_engine->settings().showAlways);
      break;
    case kCmdWebPopup:
      showServerMenu(kTargetWeb);
      break;
    case kCmdDatabasePopup:
      showServerMenu(kTargetDatabase);
      break;
    case kCmdLogList:
      setLogListShown(!m_engine->settings().expandPos);
      break;
    default:
      break;  // install mode ran at start
  }
  refresh(false);
}

void MainWindow::openLocalPage(const char* path) {
  const std::string address = m_model->LocalPage(path);
  if (!address.empty()) openAddress(QText(address));
}

void MainWindow::openAddress(const QString& address) {
  if (openUrl(address)) return;
  ShowMessage(m_engine->settings().programName, QString(text(32817)).replace("%s", address).toStdString(),
              Icon::Error);
}

bool MainWindow::openUrl(const QString& address) { return QDesktopServices::openUrl(QUrl(address)); }
bool MainWindow::openFile(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void MainWindow::setLogListShown(bool shown) {
  m_engine->settings().expandPos = shown;
  m_logList->setVisible(shown);
  m_logButton->setText(shown ? " < " : " > ");
  adjustSize();
}

void MainWindow::setAlwaysOnTop(bool on) {
  m_engine->settings().showAlways = on;
  m_topButton->setIcon(PinIcon(on));
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) show();
}

void MainWindow::showSettings() {
  const bool servicesBefore = m_engine->settings().startAsServices;
  SettingsDialog dialog(*m_engine, this);
  connect(&dialog, &SettingsDialog::aboutRequested, this, &MainWindow::showAbout);
  dialog.exec();
  settingsClosed(servicesBefore);
}

void MainWindow::settingsClosed(bool servicesBefore) {
  m_model->SettingsClosed(servicesBefore);
  relabel();
}

void MainWindow::showAbout() {
  AboutDialog dialog(*m_engine, this);
  connect(&dialog, &AboutDialog::checkVersionRequested, this, [this] { PostCommand(kCmdCheckVersion); });
  dialog.exec();
}

void MainWindow::showPhpExtensions() {
  PhpExtensionsDialog dialog(*m_engine, m_engine->phpTemplate(), this);
  dialog.exec();
}

void MainWindow::showSwitchList() {
  ShowMessage(m_engine->settings().programName,
              SwitchListText([this](int id) { return m_engine->LoadText(id); }), Icon::Information);
}

void MainWindow::CheckNewVersion(UpgradeMode mode) {
  // One check at a time; asking again brings the running one to the front.
  if (checkingVersion()) {
    if (m_upgrade != nullptr && m_upgrade->isVisible()) m_upgrade->raise();
    return;
  }
  m_upgrade = new UpgradeDialog(*m_engine, mode, this);
  m_upgrade->setMessageBox([this](const QString& caption, const QString& text, bool error) {
    showMessageBox(caption, text, error ? Icon::Error : Icon::Information);
  });
  connect(m_upgrade, &UpgradeDialog::ended, this, [this] {
    if (m_upgrade != nullptr) m_upgrade->deleteLater();
    m_upgrade = nullptr;
    queryLatestVersion();
  });
  m_upgrade->start();
}

void MainWindow::queryLatestVersion() {
  if (m_exiting) return;
  struct Answer {
    bool ok = false;
    std::string version, news;
  };
  auto answer = std::make_shared<Answer>();
  const std::string server = m_engine->settings().versionServer;
  TransferOptions options;
  options.cancel = &m_versionCancel;
  m_versionCancel = false;
  m_versionThread = QThread::create([answer, server, options] {
    answer->ok = QueryLatestVersion(server, ProgramPath(), answer->version, answer->news, options);
  });
  setCursor(Qt::BusyCursor);
  connect(m_versionThread, &QThread::finished, this, [this, answer] {
    unsetCursor();
    m_versionThread->deleteLater();
    m_versionThread = nullptr;
    if (answer->ok && !m_exiting) {
      const auto question = NewVersionQuestion(VersionText(ProgramVersion()), answer->version, answer->news,
                                               m_engine->languages());
      if (question && askQuestion(QText(m_engine->settings().programName), QText(*question)))
        openAddress(QText(m_engine->settings().homePage));
    }
    emit versionChecked();
  });
  m_versionThread->start();
}

}  // namespace tessary::ui
