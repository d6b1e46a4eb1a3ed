// The manager's window: the state of both servers, the log list, the tray
// icon with its menu, the server popups and the shortcuts. Every decision
// is MainWindowModel's; this class shows it and collects the clicks.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "manager/app/engine.h"
#include "manager/app/server_panel.h"
#include "manager/app/window_model.h"
#include "manager/servers/server_stack.h"
#include "manager/ui/upgrade_dialog.h"
#include "manager/upgrade/upgrade.h"

class QAction;
class QGridLayout;
class QLabel;
class QListWidget;
class QMenu;
class QMessageBox;
class QPushButton;
class QSystemTrayIcon;
class QThread;
class QTimer;
class QToolButton;

namespace tessary::ui {

class LogViewer;
class TextEditor;

class MainWindow : public QWidget, public WindowFrontend {
  Q_OBJECT

 public:
  MainWindow(ServerStack& stack, const Switches& switches, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Initialisation once the window exists: the model's start, the timers,
  // the saved log-list and on-top states, the labels.
  int Initialise();

  // Carries out a window command (menus, buttons, shortcuts, switches).
  void runCommand(int command);
  // What the window does once the settings dialog has closed.
  void settingsClosed(bool servicesBefore);
  // Applies the texts of the current language to menus and controls.
  void relabel();
  // The upgrade dialog, then the question for a new release. At start-up
  // nothing shows unless there is something to upgrade or a new release;
  // when asked, every failure is shown. Nothing here blocks the window.
  void CheckNewVersion(UpgradeMode mode);
  // The running upgrade dialog, or null.
  UpgradeDialog* upgradeDialog() const { return m_upgrade; }
  bool checkingVersion() const { return m_upgrade != nullptr || m_versionThread != nullptr; }

  MainWindowModel& model() { return *m_model; }
  ManagerEngine& engine() { return *m_engine; }
  QMenu* trayMenu() const { return m_trayMenu; }
  QMenu* serverMenu() const { return m_serverMenu; }
  QAction* action(int command) const;
  // Sets the tray menu's entries as they are when it opens (done on opening).
  void prepareTrayMenu();
  void prepareServerMenu(int target);
  bool hasTray() const { return m_tray != nullptr; }

  // The built-in log viewer of a server (kTargetWeb, kTargetDatabase) or
  // of the manager's own log (kTargetManagerLog), on the log of that index.
  static constexpr int kTargetManagerLog = 2;
  void showLogs(int target, int index);
  // A configuration template: in the editor of the settings when there is
  // one, else in the built-in editor.
  void editFile(const std::string& path);

  // ManagerFrontend and WindowFrontend.
  void AddLogLine(const std::string& line) override;
  bool AskYesNo(std::string_view caption, std::string_view question) override;
  void PostCommand(int command) override;
  void BringToFront() override;
  void ShowMessage(std::string_view caption, std::string_view text, Icon icon) override;
  void PostPhpChanged() override;

 public slots:
  void refresh(bool forced = false);
  void supervise();
  void exitManager();

 signals:
  void exited();
  // The version check is over (after the upgrade dialog and the question).
  void versionChecked();

 protected:
  // Message boxes; a test replaces them with a record.
  virtual bool askQuestion(const QString& caption, const QString& text);
  virtual void showMessageBox(const QString& caption, const QString& text, Icon icon);
  // Opening pages, files and folders; false when nothing could open it.
  virtual bool openUrl(const QString& address);
  virtual bool openFile(const QString& path);

  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void createActions();
  void createMenus();
  void createControls();
  void createTray();
  void createShortcuts();
  // The columns of the server rows beside each state: ports, process,
  // uptime, and the Logs and Config buttons (main_window_panel.cpp).
  void createServerColumns(QGridLayout* grid);
  void relabelServerColumns();
  void refreshServerColumns();
  // Starts the editor of the settings on a file; false when there is none.
  bool openWithEditor(const std::string& path);
  void showIntroduction();

  void openLocalPage(const char* path);
  void openAddress(const QString& address);
  void showServerMenu(int target);
  void showTrayMenuAt(const QPoint& where);
  void setLogListShown(bool shown);
  void setAlwaysOnTop(bool on);
  void showSettings();
  void showAbout();
  void showPhpExtensions();
  void showSwitchList();
  void queryLatestVersion();
  QString text(int id) const;

  ServerStack& m_stack;
  std::unique_ptr<ManagerEngine> m_engine;
  std::unique_ptr<MainWindowModel> m_model;
  std::map<int, QAction*> m_actions;
  QMenu* m_trayMenu = nullptr;
  QMenu* m_helpMenu = nullptr;
  QMenu* m_logMenu = nullptr;
  QMenu* m_confMenu = nullptr;
  QMenu* m_serverMenu = nullptr;
  QToolButton* m_menuButton = nullptr;
  QPushButton* m_webButton = nullptr;
  QPushButton* m_databaseButton = nullptr;
  QLabel* m_webState = nullptr;
  QLabel* m_webPicture = nullptr;
  QLabel* m_databaseState = nullptr;
  QLabel* m_databasePicture = nullptr;
  QListWidget* m_logList = nullptr;
  QToolButton* m_topButton = nullptr;
  QPushButton* m_logButton = nullptr;
  QToolButton* m_helpButton = nullptr;
  struct ServerColumns {
    QLabel* ports = nullptr;
    QLabel* pid = nullptr;
    QLabel* uptime = nullptr;
    QPushButton* logs = nullptr;
    QPushButton* config = nullptr;
  };
  std::array<ServerColumns, 2> m_columns{};
  std::array<QLabel*, 3> m_columnTitles{};
  std::unique_ptr<ServerPanel> m_panel;
  std::map<int, QPointer<LogViewer>> m_logViewers;
  std::map<std::string, QPointer<TextEditor>> m_editors;
  bool m_trayHintShown = false;
  QSystemTrayIcon* m_tray = nullptr;
  QTimer* m_refreshTimer = nullptr;
  QTimer* m_superviseTimer = nullptr;
  QPoint m_dragFrom;
  bool m_exiting = false;
  // The question box open now, answered "no" when the manager ends.
  QPointer<QMessageBox> m_question;
  QPointer<UpgradeDialog> m_upgrade;
  QThread* m_versionThread = nullptr;
  std::atomic<bool> m_versionCancel{false};
};

}  // namespace tessary::ui
