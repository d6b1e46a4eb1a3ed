#include "manager/ui/php_extensions_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

#include "manager/ui/icons.h"

namespace tessary::ui {

PhpExtensionsDialog::PhpExtensionsDialog(ManagerEngine& engine, const std::string& templatePath,
                                         QWidget* parent)
    : QDialog(parent), m_engine(engine), m_model(templatePath, engine.settings().root) {
  setObjectName("phpExtensionsDialog");
  setWindowTitle("PHP Extensions");
  setWindowIcon(TrayIconPicture(142));
  auto t = [this](int id) { return QString::fromUtf8(m_engine.LoadText(id)); };
  m_list = new QListWidget(this);
  m_list->setObjectName("extensions");
  m_list->setMinimumSize(240, 300);
  m_apply = new QPushButton(t(32833), this);
  m_apply->setObjectName("apply");
  m_close = new QPushButton(t(32834), this);
  m_close->setObjectName("close");
  m_refresh = new QPushButton(t(32853), this);
  m_refresh->setObjectName("refresh");
  m_depends = new QPushButton("Depends !", this);
  m_depends->setObjectName("depends");
  m_note = new QLabel(t(32852), this);
  m_note->setObjectName("note");
  m_note->setWordWrap(true);

  auto* side = new QVBoxLayout;
  side->addWidget(m_apply);
  side->addWidget(m_refresh);
  side->addWidget(m_depends);
  side->addStretch();
  side->addWidget(m_close);
  auto* top = new QHBoxLayout;
  top->addWidget(m_list, 1);
  top->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_note);

  m_model.Open();
  m_viewer = m_model.DependencyViewer();
  m_depends->setEnabled(false);
  m_apply->setEnabled(false);
  connect(m_list, &QListWidget::itemChanged, this, &PhpExtensionsDialog::itemChanged);
  connect(m_list, &QListWidget::currentRowChanged, this,
          [this](int row) { m_depends->setEnabled(row >= 0 && !m_viewer.empty()); });
  connect(m_apply, &QPushButton::clicked, this, &PhpExtensionsDialog::apply);
  connect(m_refresh, &QPushButton::clicked, this, &PhpExtensionsDialog::refresh);
  connect(m_depends, &QPushButton::clicked, this, &PhpExtensionsDialog::showDependencies);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
  QTimer::singleShot(0, this, &PhpExtensionsDialog::refresh);
}

void PhpExtensionsDialog::refresh() {
  m_loading = true;
  m_apply->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_list->setUpdatesEnabled(false);
  m_list->clear();
  m_model.Refresh();
  for (const PhpExtension& e : m_model.entries()) {
    auto* item = new QListWidgetItem(QString::fromStdString(e.name), m_list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(e.on ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(QString::fromStdString(e.path));
    if (!e.loads) {
      // Cannot be used: its object or a library it needs is missing.
      item->setForeground(QColor(254, 0, 0));
      item->setBackground(QColor(200, 200, 200));
    }
  }
  m_list->setUpdatesEnabled(true);
  QApplication::restoreOverrideCursor();
  m_loading = false;
}

void PhpExtensionsDialog::itemChanged(QListWidgetItem* item) {
  if (m_loading) return;
  const int row = m_list->row(item);
  if (row < 0) return;
  const bool on = item->checkState() == Qt::Checked;
  const bool accepted = m_model.SetOn(static_cast<std::size_t>(row), on);
  // The switch may take the extensions it builds on, or those that build on
  // it, along: every box shows the model again.
  m_loading = true;
  for (int i = 0; i < m_list->count(); ++i)
    m_list->item(i)->setCheckState(m_model.entries()[static_cast<std::size_t>(i)].on ? Qt::Checked
                                                                                     : Qt::Unchecked);
  m_loading = false;
  if (!accepted) return;
  m_apply->setEnabled(true);
  m_apply->setFocus();
}

void PhpExtensionsDialog::apply() {
  const int error = m_model.Apply();
  if (error != 0) {
    QMessageBox::critical(this, windowTitle(),
                          QString::fromStdString(m_model.templatePath() + ": " + std::strerror(error)));
    return;
  }
  m_apply->setEnabled(false);
  m_close->setFocus();
}

void PhpExtensionsDialog::showDependencies() {
  const int row = m_list->currentRow();
  if (row < 0 || m_viewer.empty()) return;
  const std::string& path = m_model.entries()[static_cast<std::size_t>(row)].path;
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QString::fromStdString(m_viewer), {QString::fromStdString(path)});
  if (!p.waitForFinished(5000)) p.kill();
  QMessageBox::information(this, QString::fromStdString(path), QString::fromLocal8Bit(p.readAll()));
}

}  // namespace tessary::ui
