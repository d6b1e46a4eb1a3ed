#include "manager/ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "manager/platform/system.h"
#include "manager/ui/icons.h"
#include "manager/ui/qt_text.h"

namespace tessary::ui {
namespace {

// The tray menu's entries: command, or 0 for a separator. The three
// submenus are built apart.
constexpr int kHelpEntries[] = {kCmdIntroduction, kCmdPhpSite, kCmdFaq, 0, kCmdAbout};
constexpr int kLogEntries[] = {kCmdApacheErrorLog, kCmdApacheAccessLog, kCmdMySqlErrorLog, kCmdManagerLog};
constexpr int kConfEntries[] = {
    kCmdSettings,   0, kCmdEditApacheConf, kCmdPhpExtensions, kCmdEditPhpConf, kCmdEditMySqlConf,
    kCmdPhpMyAdmin, 0, kCmdRegenerate};
constexpr int kMainEntries[] = {kCmdExplore, kCmdAdministration, kCmdBrowse, kCmdRestart, kCmdToggle, 0,
                                kCmdQuit};
constexpr int kPopupEntries[] = {kCmdPopupStart, kCmdPopupRestart, kCmdPopupStop, kCmdPopupKill};

}  // namespace

MainWindow::MainWindow(ServerStack& stack, const Switches& switches, QWidget* parent)
    : QWidget(parent), m_stack(stack) {
  setObjectName("mainWindow");
  m_engine = std::make_unique<ManagerEngine>(*this, switches, &m_stack);
  m_model = std::make_unique<MainWindowModel>(*m_engine, m_stack, *this);
  setWindowTitle(QText(m_engine->settings().programName));
  setWindowIcon(TrayIconPicture(kIconBoth));
  createActions();
  createMenus();
  createControls();
  createShortcuts();
  createTray();
}

MainWindow::~MainWindow() {
  // A running check ends first: its transfers stop at their next step.
  delete m_upgrade;
  m_versionCancel = true;
  if (m_versionThread != nullptr) m_versionThread->wait();
  // The model unhooks itself from the servers before the engine goes.
  m_model.reset();
  m_engine.reset();
}

QString MainWindow::text(int id) const { return QString::fromUtf8(m_engine->LoadText(id)); }

QAction* MainWindow::action(int command) const {
  const auto it = m_actions.find(command);
  return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::createActions() {
  const int commands[] = {kCmdStart,           kCmdStop,          kCmdToggle,
                          kCmdRestart,         kCmdPopupStart,    kCmdPopupStop,
                          kCmdPopupRestart,    kCmdPopupKill,     kCmdBrowse,
                          kCmdAdministration,  kCmdPhpMyAdmin,    kCmdExplore,
                          kCmdEditApacheConf,  kCmdEditMySqlConf, kCmdEditPhpConf,
                          kCmdPhpExtensions,   kCmdRegenerate,    kCmdApacheErrorLog,
                          kCmdApacheAccessLog, kCmdMySqlErrorLog, kCmdManagerLog,
                          kCmdIntroduction,    kCmdFaq,           kCmdPhpSite,
                          kCmdSettings,        kCmdAbout,         kCmdQuit};
  for (const int id : commands) {
    auto* a = new QAction(this);
    a->setObjectName(QString("action%1").arg(id));
    if (id >= kCmdPopupStart && id <= kCmdPopupKill)
      connect(a, &QAction::triggered, this, [this, id] {
        m_model->PopupCommand(id);
        refresh();
      });
    else
      connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    m_actions[id] = a;
  }
  // Fixed texts of the menu resource.
  action(kCmdEditApacheConf)->setText("&Apache");
  action(kCmdEditPhpConf)->setText("P&HP");
  action(kCmdEditMySqlConf)->setText("My&Sql");
  action(kCmdPhpMyAdmin)->setText("Php&MyAdmin\tCTRL+Y");
  action(kCmdRegenerate)->setText("&Regenerate conf files");
}

void MainWindow::createMenus() {
  m_trayMenu = new QMenu(this);
  m_trayMenu->setObjectName("trayMenu");
  auto addEntries = [this](QMenu* menu, const auto& entries) {
    for (const int id : entries) {
      if (id == 0)
        menu->addSeparator();
      else
        menu->addAction(action(id));
    }
  };
  m_helpMenu = m_trayMenu->addMenu("&Help");
  addEntries(m_helpMenu, kHelpEntries);
  m_trayMenu->addSeparator();
  m_logMenu = m_trayMenu->addMenu("&Log Files");
  addEntries(m_logMenu, kLogEntries);
  m_confMenu = m_trayMenu->addMenu("&Configuration");
  addEntries(m_confMenu, kConfEntries);
  // On a fixed drive the live files are generated where they stay.
  if (IsOnFixedDrive()) m_confMenu->removeAction(action(kCmdRegenerate));
  m_trayMenu->addSeparator();
  addEntries(m_trayMenu, kMainEntries);
  m_trayMenu->setDefaultAction(action(kCmdToggle));

  m_serverMenu = new QMenu(this);
  m_serverMenu->setObjectName("serverMenu");
  addEntries(m_serverMenu, kPopupEntries);
}

void MainWindow::createControls() {
  m_menuButton = new QToolButton(this);
  m_menuButton->setObjectName("trayMenuButton");
  m_menuButton->setIcon(TrayIconPicture(kIconBoth));
  m_menuButton->setIconSize(QSize(32, 32));
  m_menuButton->setAutoRaise(true);
  connect(m_menuButton, &QToolButton::clicked, this, [this] { runCommand(kCmdTrayMenu); });

  m_webButton = new QPushButton("&Apache", this);
  m_webButton->setObjectName("webButton");
  connect(m_webButton, &QPushButton::clicked, this, [this] { runCommand(kCmdWebPopup); });
  m_databaseButton = new QPushButton("&MySQL", this);
  m_databaseButton->setObjectName("databaseButton");
  connect(m_databaseButton, &QPushButton::clicked, this, [this] { runCommand(kCmdDatabasePopup); });

  auto stateLabel = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    QFont f("Monospace");
    f.setStyleHint(QFont::TypeWriter);
    l->setFont(f);
    return l;
  };
  m_webState = stateLabel("webState");
  m_databaseState = stateLabel("databaseState");
  m_webPicture = new QLabel(this);
  m_webPicture->setObjectName("webPicture");
  m_databasePicture = new QLabel(this);
  m_databasePicture->setObjectName("databasePicture");

  m_logList = new QListWidget(this);
  m_logList->setObjectName("logList");
  m_logList->setMinimumSize(520, 160);

  m_topButton = new QToolButton(this);
  m_topButton->setObjectName("alwaysOnTop");
  m_topButton->setAutoRaise(true);
  connect(m_topButton, &QToolButton::clicked, this, [this] { runCommand(kCmdAlwaysOnTop); });
  m_logButton = new QPushButton(" < ", this);
  m_logButton->setObjectName("logListButton");
  m_logButton->setFixedWidth(36);
  connect(m_logButton, &QPushButton::clicked, this, [this] { runCommand(kCmdLogList); });
  m_helpButton = new QToolButton(this);
  m_helpButton->setObjectName("helpPicture");
  m_helpButton->setText("?");
  m_helpButton->setAutoRaise(true);
  connect(m_helpButton, &QToolButton::clicked, this, [this] { runCommand(kCmdIntroduction); });

  auto* servers = new QGridLayout;
  servers->addWidget(m_webButton, 1, 0);
  servers->addWidget(m_webPicture, 1, 1);
  servers->addWidget(m_webState, 1, 2);
  servers->addWidget(m_databaseButton, 2, 0);
  servers->addWidget(m_databasePicture, 2, 1);
  servers->addWidget(m_databaseState, 2, 2);
  servers->setColumnStretch(2, 1);
  createServerColumns(servers);

  auto* side = new QVBoxLayout;
  side->addWidget(m_topButton);
  side->addWidget(m_helpButton);
  side->addStretch();
  side->addWidget(m_logButton);

  auto* top = new QHBoxLayout;
  top->addWidget(m_menuButton, 0, Qt::AlignTop);
  top->addLayout(servers, 1);
  top->addLayout(side);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_logList, 1);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::createShortcuts() {
  const std::pair<QKeySequence, int> keys[] = {
      {QKeySequence("Ctrl+E"), kCmdSettings},       {QKeySequence("Ctrl+U"), kCmdCheckVersion},
      {QKeySequence("Ctrl+X"), kCmdPhpExtensions},  {QKeySequence("Ctrl+Y"), kCmdPhpMyAdmin},
      {QKeySequence(Qt::Key_F1), kCmdIntroduction}, {QKeySequence(Qt::Key_F2), kCmdStart},
      {QKeySequence(Qt::Key_F3), kCmdStop},         {QKeySequence(Qt::Key_F5), kCmdRestart},
      {QKeySequence(Qt::Key_F7), kCmdBrowse},       {QKeySequence(Qt::Key_F8), kCmdExplore}};
  for (const auto& [key, command] : keys) {
    auto* s = new QShortcut(key, this);
    s->setAutoRepeat(false);
    connect(s, &QShortcut::activated, this, [this, c = command] { PostCommand(c); });
  }
}

void MainWindow::createTray() {
  // Without a tray the window is the only way in, so it is never hidden.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  m_tray = new QSystemTrayIcon(TrayIconPicture(kIconBoth), this);
  m_tray->setToolTip(QText(m_engine->settings().programName));
  connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick || why == QSystemTrayIcon::Trigger) {
      BringToFront();
    } else if (why == QSystemTrayIcon::Context) {
      showTrayMenuAt(QCursor::pos());
    }
  });
  m_tray->show();
}

int MainWindow::Initialise() {
  const int result = m_model->Initialise();
  m_refreshTimer = new QTimer(this);
  m_refreshTimer->setInterval(300);
  connect(m_refreshTimer, &QTimer::timeout, this, [this] { refresh(false); });
  m_refreshTimer->start();
  m_superviseTimer = new QTimer(this);
  m_superviseTimer->setInterval(kTimerPeriodMs);
  connect(m_superviseTimer, &QTimer::timeout, this, &MainWindow::supervise);
  m_superviseTimer->start();
  // The version check of the start, once the window is up.
  if (m_engine->settings().checkVersion)
    QTimer::singleShot(0, this, [this] { CheckNewVersion(UpgradeMode::StartUp); });
  setLogListShown(m_engine->settings().expandPos);
  setAlwaysOnTop(m_engine->settings().showAlways);
  relabel();
  return result;
}

void MainWindow::relabel() {
  auto set = [this](int command, const QString& t) { action(command)->setText(t.left(60)); };
  auto withKey = [this](int id, const char* key) { return text(id) + "\t" + key; };
  const QString program = QText(m_engine->settings().programName);
  set(kCmdPopupStart, text(32771));
  set(kCmdPopupRestart, text(32819));
  set(kCmdPopupStop, text(32772));
  set(kCmdPopupKill, text(32820));
  m_helpMenu->setTitle(text(32836));
  m_logMenu->setTitle(text(32837));
  m_confMenu->setTitle(text(32838));
  set(kCmdExplore, withKey(32839, "F8"));
  set(kCmdAdministration, text(32840));
  set(kCmdBrowse, withKey(32841, "F7"));
  set(kCmdRestart, withKey(32819, "F5"));
  set(kCmdQuit, text(32842));
  set(kCmdIntroduction, withKey(32843, "F1"));
  set(kCmdPhpSite, text(32844));
  set(kCmdFaq, text(32845));
  set(kCmdAbout, text(32821));
  set(kCmdApacheErrorLog, text(32846));
  set(kCmdApacheAccessLog, text(32847));
  set(kCmdMySqlErrorLog, text(32848));
  set(kCmdManagerLog, program);
  set(kCmdPhpExtensions, withKey(32849, "CTRL+X"));
  set(kCmdSettings, program + "\tCTRL+E");
  m_webState->setToolTip(text(32807));
  m_databaseState->setToolTip(text(32808));
  m_topButton->setToolTip(text(32809));
  m_helpButton->setToolTip(text(32810));
  m_logButton->setToolTip(text(32811));
  relabelServerColumns();
  prepareTrayMenu();
  refresh(true);
}

void MainWindow::refresh(bool forced) {
  const RefreshResult r = m_model->Refresh(forced);
  if (r.webStateChanged) {
    m_webState->setText(QText(StateText(m_stack.web().State(), m_engine->languages())));
    m_webPicture->setPixmap(StatePixmap(StatePicture(m_stack.web().State())));
  }
  if (r.databaseStateChanged) {
    m_databaseState->setText(QText(StateText(m_stack.database().State(), m_engine->languages())));
    m_databasePicture->setPixmap(StatePixmap(StatePicture(m_stack.database().State())));
  }
  if (m_tray != nullptr) {
    m_tray->setIcon(TrayIconPicture(r.icon));
    if (r.tooltipChanged) m_tray->setToolTip(QText(r.tooltip));
  }
  if (r.tooltipChanged) m_menuButton->setToolTip(QText(r.tooltip));
  refreshServerColumns();
}

void MainWindow::supervise() { m_stack.Tick(); }

void MainWindow::prepareTrayMenu() {
  const TrayMenuState s = m_model->TrayMenu();
  QAction* toggle = action(kCmdToggle);
  toggle->setText(QText(s.toggleText));
  toggle->setEnabled(s.toggleEnabled);
  action(kCmdEditPhpConf)->setEnabled(true);
  action(kCmdPhpExtensions)->setEnabled(true);
  action(kCmdPhpMyAdmin)->setEnabled(s.phpMyAdmin);
  action(kCmdAdministration)->setEnabled(s.localPages);
  action(kCmdBrowse)->setEnabled(s.localPages);
  action(kCmdRestart)->setEnabled(s.restartBoth);
}

void MainWindow::prepareServerMenu(int target) {
  const ServerPopupState p = m_model->ServerPopup(target);
  action(kCmdPopupStart)->setEnabled(p.start);
  action(kCmdPopupStop)->setEnabled(p.stop);
  action(kCmdPopupRestart)->setEnabled(p.restart);
  action(kCmdPopupKill)->setEnabled(p.kill);
  m_serverMenu->setDefaultAction(action(p.defaultCommand));
  m_model->SetPopupTarget(target);
}

void MainWindow::showTrayMenuAt(const QPoint& where) {
  prepareTrayMenu();
  BringToFront();
  m_trayMenu->popup(where);
}

void MainWindow::showServerMenu(int target) {
  prepareServerMenu(target);
  QPushButton* b = target == kTargetWeb ? m_webButton : m_databaseButton;
  m_serverMenu->popup(b->mapToGlobal(QPoint(0, b->height())));
}

void MainWindow::exitManager() {
  if (m_exiting) return;
  m_exiting = true;
  // A question still open is answered "no": its nested event loop must
  // not keep the manager alive.
  if (m_question != nullptr) m_question->done(QMessageBox::No);
  m_versionCancel = true;
  if (m_refreshTimer != nullptr) m_refreshTimer->stop();
  if (m_superviseTimer != nullptr) m_superviseTimer->stop();
  m_model->Exit();
  if (m_tray != nullptr) m_tray->hide();
  emit exited();
  QCoreApplication::quit();
  // Asked for before the main event loop runs (during the start, from a
  // question's loop), the quit above ends only the loops running now: the
  // main loop ends as soon as it starts.
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void MainWindow::AddLogLine(const std::string& line) {
  if (m_logList == nullptr) return;
  m_logList->addItem(QText(line));
  // The list keeps what a day of work logs; the file keeps everything.
  while (m_logList->count() > 2000) delete m_logList->takeItem(0);
  m_logList->setCurrentRow(m_logList->count() - 1);
}

bool MainWindow::AskYesNo(std::string_view caption, std::string_view question) {
  return askQuestion(QText(caption), QText(question));
}

void MainWindow::PostCommand(int command) {
  QMetaObject::invokeMethod(
      this, [this, command] { runCommand(command); }, Qt::QueuedConnection);
}

void MainWindow::BringToFront() {
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::ShowMessage(std::string_view caption, std::string_view message, Icon icon) {
  showMessageBox(QText(caption), QText(message), icon);
}

void MainWindow::PostPhpChanged() {
  QMetaObject::invokeMethod(
      this, [this] { m_model->OnPhpChanged(); }, Qt::QueuedConnection);
}

bool MainWindow::askQuestion(const QString& caption, const QString& question) {
  // Once the manager is ending nobody is there to answer.
  if (m_exiting) return false;
  QMessageBox box(QMessageBox::Question, caption, question, QMessageBox::Yes | QMessageBox::No, this);
  box.setObjectName("questionBox");
  m_question = &box;
  const int answer = box.exec();
  m_question = nullptr;
  return answer == QMessageBox::Yes && !m_exiting;
}

void MainWindow::showMessageBox(const QString& caption, const QString& message, Icon icon) {
  const QMessageBox::Icon i = icon == Icon::Error     ? QMessageBox::Critical
                              : icon == Icon::Warning ? QMessageBox::Warning
                                                      : QMessageBox::Information;
  // Shown without a nested event loop: the servers go on being watched
  // while a report waits to be read.
  auto* box = new QMessageBox(i, caption, message, QMessageBox::Ok, this);
  box->setObjectName("messageBox");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // With a tray the servers go on being watched from there, and its menu's
  // Exit ends the manager; without one, closing the window ends it.
  if (m_tray != nullptr && !m_exiting) {
    event->ignore();
    hide();
    if (!m_trayHintShown) {
      m_trayHintShown = true;
      m_tray->showMessage(QText(m_engine->settings().programName), text(32919));
    }
    return;
  }
  exitManager();
  event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Minimised, the window goes to the tray when there is one.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray != nullptr)
    QTimer::singleShot(0, this, &QWidget::hide);
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, 0, height());
  g.setColorAt(0, QColor(150, 173, 218));
  g.setColorAt(1, Qt::white);
  p.fillRect(rect(), g);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_dragFrom = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - m_dragFrom);
}

}  // namespace tessary::ui
