#include "manager/ui/upgrade_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "manager/app/window_model.h"
#include "manager/ui/icons.h"

namespace tessary::ui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

UpgradeSite SiteOf(ManagerEngine& engine) {
  const Settings& s = engine.settings();
  UpgradeSite site;
  site.root = s.root;
  site.upgradeServer = s.upgradeServer;
  site.hashServer = s.hashServer;
  // The language at the current index, the first one when none was chosen.
  site.language = engine.languages().Name(engine.languages().CurrentIndex());
  return site;
}

enum Column { kFile, kCurrent, kNew, kSize, kHash };

}  // namespace

UpgradeDialog::UpgradeDialog(ManagerEngine& engine, UpgradeMode mode, QWidget* parent)
    : QDialog(parent), m_engine(engine), m_model(SiteOf(engine), engine.languages(), mode) {
  setObjectName("upgradeDialog");
  setWindowIcon(TrayIconPicture(kIconBoth));
  setWindowTitle(Q(engine.settings().programName));
  auto t = [this](int id) { return QString::fromUtf8(m_engine.LoadText(id)); };

  m_list = new QTreeWidget(this);
  m_list->setObjectName("fileList");
  m_list->setRootIsDecorated(false);
  m_list->setColumnCount(5);
  m_list->setHeaderLabels({t(32859), t(32860), t(32861), t(32862), t(32863)});
  const int widths[] = {175, 47, 45, 60, 280};
  for (int c = 0; c < 5; ++c) m_list->setColumnWidth(c, widths[c]);
  m_list->headerItem()->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
  m_list->headerItem()->setTextAlignment(kHash, Qt::AlignCenter);
  m_list->setMinimumSize(640, 220);
  m_status = new QLabel(this);
  m_status->setObjectName("status");
  m_progress = new QProgressBar(this);
  m_progress->setObjectName("progress");
  m_progress->setVisible(false);
  m_ok = new QPushButton("OK", this);
  m_ok->setObjectName("ok");
  m_ok->setEnabled(false);
  m_cancelButton = new QPushButton(tr("Cancel"), this);
  m_cancelButton->setObjectName("cancel");
  m_refresh = new QPushButton("&Refresh", this);
  m_refresh->setObjectName("refresh");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list);
  layout->addWidget(m_status);
  layout->addWidget(m_progress);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_refresh);
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancelButton);
  layout->addLayout(buttons);

  connect(m_ok, &QPushButton::clicked, this, &UpgradeDialog::upgrade);
  connect(m_cancelButton, &QPushButton::clicked, this, &UpgradeDialog::reject);
  connect(m_refresh, &QPushButton::clicked, this, &UpgradeDialog::refresh);
  connect(m_list, &QTreeWidget::itemChanged, this, &UpgradeDialog::itemChanged);

  m_options.cancel = &m_cancel;
  m_options.progress = [this](std::uint64_t done, std::uint64_t total) {
    QMetaObject::invokeMethod(
        this,
        [this, done, total] {
          if (total > 0 && total <= 0x7FFFFFFF) {
            m_progress->setRange(0, static_cast<int>(total));
            m_progress->setValue(static_cast<int>(done < total ? done : total));
          }
        },
        Qt::QueuedConnection);
  };
}

UpgradeDialog::~UpgradeDialog() {
  m_cancel = true;
  if (m_thread != nullptr) {
    m_thread->wait();
    delete m_thread;
  }
}

void UpgradeDialog::start() {
  m_model.Open();
  fillList();
  if (m_model.mode() == UpgradeMode::Manual) open();
  refresh();
}

void UpgradeDialog::runInBackground(std::function<void()> work, std::function<void()> done) {
  m_cancel = false;
  m_thread = QThread::create(std::move(work));
  connect(m_thread, &QThread::finished, this, [this, done = std::move(done)] {
    m_thread->deleteLater();
    m_thread = nullptr;
    setBusy(false);
    // Cancel while the transfer ran: it ends as Cancel does.
    if (m_closing) {
      finish(true);
      return;
    }
    done();
  });
  setBusy(true);
  m_thread->start();
}

void UpgradeDialog::setBusy(bool busy) {
  m_progress->setVisible(busy);
  m_progress->setRange(0, 0);
  m_refresh->setEnabled(!busy);
  m_ok->setEnabled(!busy && m_model.okEnabled());
  m_list->setEnabled(!busy);
  if (busy)
    setCursor(Qt::BusyCursor);
  else
    unsetCursor();
}

void UpgradeDialog::refresh() {
  if (busy() || m_ended) return;
  auto lists = std::make_shared<RemoteLists>();
  const UpgradeSite site = m_model.site();
  const TransferOptions options = m_options;
  runInBackground([lists, site, options] { *lists = FetchRemoteLists(site, options); },
                  [this, lists] {
                    const RefreshOutcome outcome = m_model.ApplyRemoteLists(*lists);
                    fillList();
                    showMessages(outcome.messages);
                    if (outcome.end) {
                      finish(false);
                      return;
                    }
                    m_ok->setEnabled(m_model.okEnabled());
                    // At start-up the dialog appears only now, with something to do.
                    if (!isVisible()) open();
                  });
}

void UpgradeDialog::upgrade() {
  if (busy() || m_ended) return;
  m_pending = m_model.PendingUpgrades();
  m_next = 0;
  upgradeNext();
}

void UpgradeDialog::upgradeNext() {
  if (m_next >= m_pending.size()) {
    showMessages(m_model.FinishUpgrade());
    finish(true);
    return;
  }
  const std::size_t index = m_pending[m_next++];
  m_status->setText(Q(m_model.UpdatingText(index)));
  auto outcome = std::make_shared<FileOutcome>();
  const FileJob job = m_model.JobFor(index);
  const TransferOptions options = m_options;
  runInBackground([outcome, job, options] { *outcome = UpgradeFile(job, options); },
                  [this, outcome, index] {
                    showMessages(m_model.ApplyOutcome(index, *outcome));
                    fillList();
                    upgradeNext();
                  });
}

void UpgradeDialog::reject() {
  if (m_ended) return;
  if (busy()) {
    // The transfer stops at its next step; the dialog ends then.
    m_closing = true;
    m_cancel = true;
    m_cancelButton->setEnabled(false);
    return;
  }
  finish(true);
}

void UpgradeDialog::finish(bool writeList) {
  if (m_ended) return;
  m_ended = true;
  if (writeList) m_model.Close();
  QDialog::done(writeList ? QDialog::Accepted : QDialog::Rejected);
  emit ended();
}

void UpgradeDialog::fillList() {
  m_filling = true;
  m_list->clear();
  const QColor grey(200, 200, 200);
  for (const UpgradeEntry& e : m_model.entries()) {
    auto* item = new QTreeWidgetItem(m_list);
    item->setText(kFile, Q(e.name));
    item->setText(kCurrent, Q(UpgradeDialogModel::VersionColumn(e.current)));
    item->setText(kNew, Q(UpgradeDialogModel::VersionColumn(e.newVersion)));
    item->setText(kSize, QString::number(e.size));
    item->setText(kHash, Q(e.hash));
    item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(kHash, Qt::AlignCenter);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kFile, e.checked ? Qt::Checked : Qt::Unchecked);
    if (!e.Candidate())
      for (int c = 0; c < 5; ++c) item->setBackground(c, grey);
  }
  m_status->setText(Q(m_model.status()));
  m_filling = false;
}

void UpgradeDialog::itemChanged(QTreeWidgetItem* item, int column) {
  if (m_filling || column != kFile) return;
  const int index = m_list->indexOfTopLevelItem(item);
  if (index < 0) return;
  const bool on = item->checkState(kFile) == Qt::Checked;
  if (!m_model.SetChecked(static_cast<std::size_t>(index), on)) {
    // Not a candidate: the check is refused.
    m_filling = true;
    item->setCheckState(kFile, Qt::Unchecked);
    m_filling = false;
  }
}

void UpgradeDialog::showMessages(const std::vector<UpgradeMessage>& messages) {
  const QString caption = Q(m_engine.settings().programName);
  for (const UpgradeMessage& m : messages) {
    if (m_messageBox) {
      m_messageBox(caption, Q(m.text), m.error);
    } else {
      QMessageBox box(m.error ? QMessageBox::Critical : QMessageBox::Information, caption, Q(m.text),
                      QMessageBox::Ok, isVisible() ? this : parentWidget());
      box.exec();
    }
  }
}

}  // namespace tessary::ui
