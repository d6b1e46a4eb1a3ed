#include "manager/ui/log_viewer.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "manager/ui/icons.h"
#include "manager/ui/qt_text.h"

namespace tessary::ui {

LogViewer::LogViewer(ManagerEngine& engine, const QString& title, std::vector<LogChoice> logs,
                     QWidget* parent)
    : QDialog(parent), m_engine(engine), m_logs(std::move(logs)) {
  setObjectName("logViewer");
  setWindowIcon(TrayIconPicture(142));
  setWindowTitle(title);
  m_choice = new QComboBox(this);
  m_choice->setObjectName("logChoice");
  for (const LogChoice& log : m_logs) m_choice->addItem(log.label, QText(log.path));
  m_text = new QPlainTextEdit(this);
  m_text->setObjectName("logText");
  m_text->setReadOnly(true);
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_text->setMaximumBlockCount(kMaxLines);
  m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* close = buttons->button(QDialogButtonBox::Close);
  close->setObjectName("close");
  close->setText(QString::fromUtf8(m_engine.LoadText(32910)));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_choice);
  layout->addWidget(m_text, 1);
  layout->addWidget(buttons);
  resize(820, 480);

  connect(m_choice, &QComboBox::activated, this, &LogViewer::select);
  m_timer = new QTimer(this);
  m_timer->setInterval(500);
  connect(m_timer, &QTimer::timeout, this, &LogViewer::follow);
  m_timer->start();
  if (!m_logs.empty()) select(0);
}

int LogViewer::selected() const { return m_choice->currentIndex(); }

void LogViewer::select(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= m_logs.size()) return;
  m_choice->setCurrentIndex(index);
  m_choice->setToolTip(QText(m_logs[static_cast<std::size_t>(index)].path));
  m_tail = std::make_unique<LogTail>(m_logs[static_cast<std::size_t>(index)].path);
  follow();
}

void LogViewer::follow() {
  if (m_tail == nullptr) return;
  LogTail::Chunk chunk = m_tail->Read();
  if (!chunk.exists) {
    if (chunk.replace)
      m_text->setPlainText(QString::fromUtf8(m_engine.LoadText(32908)).replace("%s", QText(m_tail->path())));
    return;
  }
  if (chunk.text.empty() && !chunk.replace) return;
  QScrollBar* bar = m_text->verticalScrollBar();
  const bool atEnd = chunk.replace || bar->value() == bar->maximum();
  if (!chunk.text.empty() && chunk.text.back() == '\n') chunk.text.pop_back();
  if (chunk.replace)
    m_text->setPlainText(QText(chunk.text));
  else
    m_text->appendPlainText(QText(chunk.text));
  // Following the end, unless the reader has scrolled back to read.
  if (atEnd) bar->setValue(bar->maximum());
}

}  // namespace tessary::ui
