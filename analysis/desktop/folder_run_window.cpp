#include "desktop/folder_run_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/batch_frontend.h"
#include "database/kw_sql.h"
#include "runs/picture_outputs.h"

// The run's reports, handed from its threads to the window's.
class FolderRunWindow::Observer : public FolderAnalysisObserver {
 public:
  explicit Observer(FolderRunWindow* window) : m_window(window) {}

  void started(const std::string& picture) override {
    post([w = m_window, name = QFileInfo(QString::fromStdString(picture)).fileName()] {
      w->showStarted(name);
    });
  }
  void message(const std::string& picture, const std::string& text) override {
    note(QString("%1: %2").arg(QString::fromStdString(picture), QString::fromStdString(text)));
  }
  void finished(const PictureOutcome& o, std::size_t done, std::size_t total) override {
    Finished f{QString::fromStdString(o.picture),
               o.state,
               QString::fromStdString(o.problem),
               o.plantRows,
               static_cast<int>(done),
               static_cast<int>(total)};
    post([w = m_window, f = std::move(f)] { w->addFinished(f); });
    std::unique_lock<std::mutex> hold(m_window->m_shownLock);
    m_window->m_shownChanged.wait(
        hold, [this, done] { return m_window->m_shown >= static_cast<int>(done) || m_window->m_closing; });
  }
  void note(const QString& text) {
    post([w = m_window, text] { w->addNote(text); });
  }
  void ended(const FolderAnalysisSummary& summary) {
    post([w = m_window, summary] { w->ended(summary); });
  }

 private:
  template <class F>
  void post(F&& work) {
    QMetaObject::invokeMethod(m_window, std::forward<F>(work), Qt::QueuedConnection);
  }
  FolderRunWindow* m_window;
};

namespace {

// The run's own boxes (a log folder that cannot be made, the database) are
// listed in the window with the pictures' messages.
class NoteFrontend : public FRONTEND::BatchFrontend {
 public:
  explicit NoteFrontend(std::function<void(const QString&)> note) : m_note(std::move(note)) {}
  void showMessage(const std::string& /*title*/, const std::string& text) override {
    m_note(QString::fromStdString(text));
  }

 private:
  std::function<void(const QString&)> m_note;
};

QTableWidgetItem* Cell(const QString& text, bool number = false) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QString Cm(double value) { return QString::number(value, 'f', 2); }

}  // namespace

FolderRunWindow::FolderRunWindow(FolderAnalysisOptions options, QWidget* parent)
    : QDialog(parent),
      m_options(std::move(options)),
      m_observer(std::make_unique<Observer>(this)),
      m_current(new QLabel(this)),
      m_progress(new QProgressBar(this)),
      m_state(new QLabel(this)),
      m_table(new QTableWidget(0, kColumns, this)),
      m_messages(new QLabel(this)),
      m_cancelButton(new QPushButton("Cancel", this)),
      m_close(new QPushButton("Close", this)) {
  setObjectName("FolderRunWindow");
  setWindowTitle("Analyse folder");
  m_logFrontend =
      std::make_unique<NoteFrontend>([o = m_observer.get()](const QString& text) { o->note(text); });
  if (m_options.overlay.empty()) {
    m_overlays = std::make_unique<QTemporaryDir>();
    if (m_overlays->isValid()) m_options.overlay = m_overlays->path().toStdString();
  }
  m_options.plantSummaries = true;
  m_current->setObjectName("current");
  m_progress->setObjectName("progress");
  m_progress->setRange(0, static_cast<int>(m_options.pictures.size()));
  m_progress->setValue(0);
  m_progress->setFormat("%v of %m pictures");
  m_state->setObjectName("state");
  m_state->setWordWrap(true);
  m_messages->setObjectName("messages");
  m_messages->setWordWrap(true);
  m_messages->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_messages->hide();
  m_table->setObjectName("plants");
  m_table->setHorizontalHeaderLabels(
      {"Picture", "Plant", "Main root (cm)", "Lateral roots", "Lateral length (cm)", "Flags"});
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->verticalHeader()->hide();
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setToolTip("Double-click a row to open its picture with the overlay of its plants");
  m_cancelButton->setObjectName("cancel");
  m_close->setObjectName("close");
  m_close->hide();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_cancelButton);
  buttons->addWidget(m_close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_current);
  layout->addWidget(m_progress);
  layout->addWidget(m_state);
  layout->addWidget(m_table, 1);
  layout->addWidget(m_messages);
  layout->addLayout(buttons);
  resize(760, 480);
  connect(m_cancelButton, &QPushButton::clicked, this, &FolderRunWindow::cancel);
  connect(m_close, &QPushButton::clicked, this, &QWidget::close);
  connect(m_table, &QTableWidget::itemDoubleClicked, this, &FolderRunWindow::rowActivated);
}

FolderRunWindow::~FolderRunWindow() {
  m_cancel = true;
  {
    const std::lock_guard<std::mutex> hold(m_shownLock);
    m_closing = true;
  }
  m_shownChanged.notify_all();
  if (m_worker.joinable()) m_worker.join();
}

void FolderRunWindow::start() {
  if (running()) return;
  if (const auto problem = PrepareFolderAnalysis(m_options)) {
    FolderAnalysisSummary none;
    none.total = m_options.pictures.size();
    m_state->setText(QString("Nothing was analysed: %1.").arg(QString::fromStdString(*problem)));
    m_cancelButton->hide();
    m_close->show();
    m_summary = none;
    emit runEnded();
    return;
  }
  m_current->setText("Starting...");
  m_worker = std::thread([this] {
    // As on the command line: the run's genotype and medium are recorded
    // once, before the pictures' threads start.
    KW_SQL::Add_Genotype(*m_logFrontend, m_options.genotype);
    KW_SQL::Add_Media(*m_logFrontend, m_options.media);
    m_observer->ended(RunFolderAnalysis(m_options, *m_logFrontend, *m_observer, &m_cancel));
  });
}

void FolderRunWindow::showStarted(const QString& picture) {
  if (m_cancel) return;
  m_current->setText(QString("Analysing %1").arg(picture));
}

void FolderRunWindow::addFinished(const Finished& f) {
  m_progress->setValue(f.done);
  const QString name = QFileInfo(f.picture).fileName();
  const auto addRow = [&](const QList<QTableWidgetItem*>& cells) {
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    for (int c = 0; c < cells.size(); ++c) {
      cells[c]->setData(Qt::UserRole, f.picture);
      m_table->setItem(row, c, cells[c]);
    }
  };
  if (f.state == PictureOutcome::State::Saved) {
    for (const PlantSummary& p : f.plants)
      addRow({Cell(name), Cell(QString::number(p.plant), true), Cell(Cm(p.mainRootCm), true),
              Cell(QString::number(p.lateralRoots), true), Cell(Cm(p.lateralLengthCm), true),
              Cell(QString::fromStdString(p.flags))});
  } else {
    const QString what = f.state == PictureOutcome::State::Failed ? "failed" : "skipped";
    addRow(
        {Cell(name), Cell({}), Cell({}), Cell({}), Cell({}), Cell(QString("%1: %2").arg(what, f.problem))});
  }
  emit pictureFinished(f.done, f.total);
  {
    const std::lock_guard<std::mutex> hold(m_shownLock);
    m_shown = f.done;
  }
  m_shownChanged.notify_all();
}

void FolderRunWindow::addNote(const QString& note) {
  ++m_notes;
  QString text = m_messages->text();
  if (m_notes <= kMaxNotes) {
    text += (text.isEmpty() ? "" : "\n") + note;
  } else if (m_notes == kMaxNotes + 1) {
    text += "\n(further messages left out)";
  } else {
    return;
  }
  m_messages->setText(text);
  m_messages->show();
}

void FolderRunWindow::ended(const FolderAnalysisSummary& s) {
  if (m_worker.joinable()) m_worker.join();
  m_summary = s;
  m_current->setText(QString());
  QString text =
      s.cancelled ? QString("Cancelled: %1 of %2 pictures done, their files kept. ").arg(s.done).arg(s.total)
                  : QString("%1 pictures done. ").arg(s.done);
  text += QString("%1 saved, %2 skipped, %3 failed; %4 plants.")
              .arg(s.saved)
              .arg(s.skipped)
              .arg(s.failed)
              .arg(s.plants);
  if (!s.traitsError.empty())
    text += QString(" The trait table was not written: %1.").arg(QString::fromStdString(s.traitsError));
  m_state->setText(text);
  m_table->resizeColumnsToContents();
  m_cancelButton->hide();
  m_close->show();
  emit runEnded();
}

void FolderRunWindow::cancel() {
  if (!running()) return;
  m_cancel = true;
  m_cancelButton->setEnabled(false);
  m_current->setText("Stopping after the pictures being analysed...");
}

void FolderRunWindow::closeEvent(QCloseEvent* event) {
  // The window goes once the run has stopped: cancelling keeps the pictures
  // being analysed whole.
  if (running()) {
    cancel();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void FolderRunWindow::rowActivated(const QTableWidgetItem* item) {
  if (item == nullptr) return;
  const QString picture = item->data(Qt::UserRole).toString();
  const PictureOutputs outputs = OutputsOf(QFileInfo(picture).completeBaseName().toStdString(),
                                           m_options.results, std::string(), m_options.overlay);
  emit pictureChosen(picture, QString::fromStdString(outputs.overlay));
}
