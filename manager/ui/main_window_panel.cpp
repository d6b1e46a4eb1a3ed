// The window's server columns beside each state (ports, process, uptime,
// Logs and Config), the built-in log viewer and editor they open, and the
// introduction.
#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "manager/ui/introduction_dialog.h"
#include "manager/ui/log_viewer.h"
#include "manager/ui/main_window.h"
#include "manager/ui/qt_text.h"
#include "manager/ui/text_editor.h"

namespace tessary::ui {

void MainWindow::createServerColumns(QGridLayout* grid) {
  m_panel = std::make_unique<ServerPanel>(m_stack);
  const char* titles[] = {"portsTitle", "pidTitle", "uptimeTitle"};
  for (std::size_t i = 0; i < m_columnTitles.size(); ++i) {
    m_columnTitles[i] = new QLabel(this);
    m_columnTitles[i]->setObjectName(titles[i]);
    grid->addWidget(m_columnTitles[i], 0, static_cast<int>(3 + i));
  }
  for (const int target : {kTargetWeb, kTargetDatabase}) {
    const QString prefix = target == kTargetWeb ? "web" : "database";
    ServerColumns& c = m_columns[static_cast<std::size_t>(target)];
    auto label = [&](const char* name) {
      auto* l = new QLabel(this);
      l->setObjectName(prefix + name);
      l->setTextInteractionFlags(Qt::TextSelectableByMouse);
      return l;
    };
    c.ports = label("Ports");
    c.pid = label("Pid");
    c.uptime = label("Uptime");
    c.logs = new QPushButton(this);
    c.logs->setObjectName(prefix + "Logs");
    connect(c.logs, &QPushButton::clicked, this, [this, target] { showLogs(target, 0); });
    c.config = new QPushButton(this);
    c.config->setObjectName(prefix + "Config");
    connect(c.config, &QPushButton::clicked, this,
            [this, target] { editFile(m_panel->ConfTemplate(target)); });
    const int row = 1 + target;
    int column = 3;
    for (QWidget* w : std::initializer_list<QWidget*>{c.ports, c.pid, c.uptime, c.logs, c.config})
      grid->addWidget(w, row, column++);
  }
  // Room for the widest value, so the window keeps its size as they change.
  const QFontMetrics metrics(font());
  grid->setColumnMinimumWidth(3, metrics.horizontalAdvance("00000, 00000"));
  grid->setColumnMinimumWidth(4, metrics.horizontalAdvance("0000000"));
  grid->setColumnMinimumWidth(5, metrics.horizontalAdvance("000j 00:00:00"));
}

void MainWindow::relabelServerColumns() {
  m_columnTitles[0]->setText(text(32900));
  m_columnTitles[1]->setText(text(32901));
  m_columnTitles[2]->setText(text(32902));
  for (ServerColumns& c : m_columns) {
    c.logs->setText(text(32903));
    c.logs->setToolTip(text(32916));
    c.config->setText(text(32904));
    c.config->setToolTip(text(32917));
  }
}

void MainWindow::refreshServerColumns() {
  if (m_panel == nullptr) return;
  const QString dayUnit = text(32918);
  for (const int target : {kTargetWeb, kTargetDatabase}) {
    const ServerRow row = m_panel->Row(target, dayUnit.toStdString());
    ServerColumns& c = m_columns[static_cast<std::size_t>(target)];
    c.ports->setText(QText(row.ports));
    c.pid->setText(QText(row.pid));
    c.uptime->setText(QText(row.uptime));
  }
}

void MainWindow::showLogs(int target, int index) {
  QPointer<LogViewer>& viewer = m_logViewers[target];
  if (viewer == nullptr) {
    std::vector<LogChoice> logs;
    QString name;
    if (target == kTargetManagerLog) {
      name = QText(m_engine->settings().programName);
      logs.push_back({name, m_engine->settings().logFile});
    } else {
      name = target == kTargetWeb ? "Apache" : "MySql";
      for (const ServerLog& log : m_panel->Logs(target)) logs.push_back({text(log.textId), log.path});
    }
    if (static_cast<std::size_t>(index) >= logs.size()) return;
    // An outside program set in the settings opens the file itself.
    if (!m_engine->settings().editor.empty()) {
      openWithEditor(logs[static_cast<std::size_t>(index)].path);
      return;
    }
    viewer = new LogViewer(*m_engine, text(32907).replace("%s", name), std::move(logs), this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowFlag(Qt::Window);
  }
  viewer->select(index);
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
}

void MainWindow::editFile(const std::string& path) {
  if (!m_engine->settings().editor.empty()) {
    openWithEditor(path);
    return;
  }
  QPointer<TextEditor>& editor = m_editors[path];
  if (editor == nullptr) {
    auto* e = new TextEditor(
        *m_engine, path, [this](const QString& c, const QString& q) { return askQuestion(c, q); },
        [this](const QString& c, const QString& m) { showMessageBox(c, m, Icon::Error); }, this);
    e->setAttribute(Qt::WA_DeleteOnClose);
    e->setWindowFlag(Qt::Window);
    if (!e->load()) {
      delete e;
      m_editors.erase(path);
      return;
    }
    editor = e;
  }
  editor->show();
  editor->raise();
  editor->activateWindow();
}

bool MainWindow::openWithEditor(const std::string& path) {
  const QString command = QText(m_engine->settings().editor);
  QStringList words = QProcess::splitCommand(command);
  if (!words.isEmpty()) {
    const QString program = words.takeFirst();
    words << QText(path);
    if (QProcess::startDetached(program, words)) return true;
  }
  ShowMessage(m_engine->settings().programName,
              text(32914).replace("%s", command).toStdString() + "\n" + path, Icon::Error);
  return false;
}

void MainWindow::showIntroduction() {
  const std::string page = m_engine->settings().root + "home/accueil.html";
  if (openFile(QText(page))) return;
  auto* dialog = new IntroductionDialog(*m_engine, page, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowFlag(Qt::Window);
  dialog->show();
}

}  // namespace tessary::ui
