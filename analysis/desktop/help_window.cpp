#include "desktop/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include "desktop/icons.h"

namespace {

// Where the program looks for its documents: beside the executable (the
// build folder) and in the installed layout <prefix>/bin -> <prefix>/share/doc/morvane.
QStringList documentFolders() {
  const QString app = QCoreApplication::applicationDirPath();
  QStringList folders;
  const QByteArray env = qgetenv("MORVANE_MANUAL_DIR");
  if (!env.isEmpty()) folders << QString::fromLocal8Bit(env);
  folders << app << QDir(app).filePath("../share/doc/morvane");
  return folders;
}

}  // namespace

QString ManualFolder() {
  for (const QString& folder : documentFolders()) {
    const QString candidate = QDir(folder).filePath("manual");
    if (QFileInfo::exists(QDir(candidate).filePath("index.html"))) return QDir(candidate).canonicalPath();
  }
  return {};
}

QString UserManualPdf() {
  for (const QString& folder : documentFolders()) {
    const QString candidate = QDir(folder).filePath("Morvane user manual.pdf");
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
  }
  return {};
}

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)), m_search(new QLineEdit(this)) {
  setObjectName("helpWindow");
  setWindowTitle("Morvane Help");
  setWindowIcon(MorvaneIcon());
  m_browser->setObjectName("manual");
  m_browser->setOpenExternalLinks(true);
  m_search->setObjectName("search");
  m_search->setPlaceholderText("Search the manual");
  auto* find = new QPushButton("Find", this);
  find->setObjectName("find");
  auto* contents = new QPushButton("Contents", this);
  contents->setObjectName("contents");
  auto* index = new QPushButton("Index", this);
  index->setObjectName("index");
  auto* row = new QHBoxLayout;
  row->addWidget(contents);
  row->addWidget(index);
  row->addSpacing(20);
  row->addWidget(m_search, 1);
  row->addWidget(find);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(m_browser, 1);
  resize(760, 640);
  connect(find, &QPushButton::clicked, this, &HelpWindow::findNext);
  connect(m_search, &QLineEdit::returnPressed, this, &HelpWindow::findNext);
  connect(contents, &QPushButton::clicked, this, &HelpWindow::showContents);
  connect(index, &QPushButton::clicked, this, &HelpWindow::showIndex);
}

bool HelpWindow::load(const QString& anchor) {
  const QString folder = ManualFolder();
  if (folder.isEmpty()) {
    m_browser->setPlainText("The manual of Morvane was not found beside the program.");
    return false;
  }
  QUrl url = QUrl::fromLocalFile(QDir(folder).filePath("index.html"));
  if (!anchor.isEmpty()) url.setFragment(anchor);
  m_browser->setSource(url);
  return true;
}

void HelpWindow::showContents() {
  load({});
  show();
  raise();
}

void HelpWindow::showIndex() {
  load("index");
  show();
  raise();
}

void HelpWindow::showSearch() {
  if (m_browser->source().isEmpty()) load({});
  show();
  raise();
  m_search->setFocus();
  m_search->selectAll();
}

bool HelpWindow::findNext() {
  const QString text = m_search->text();
  if (text.isEmpty()) return false;
  if (m_browser->find(text)) return true;
  // From the top again.
  m_browser->moveCursor(QTextCursor::Start);
  return m_browser->find(text);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("aboutBox");
  setWindowTitle("About Morvane");
  auto* icon = new QLabel(this);
  icon->setPixmap(MorvaneIcon().pixmap(64, 64));
  auto* text = new QLabel(this);
  text->setObjectName("aboutText");
  text->setText(QString("<h2>Morvane</h2><p>Root architecture of seedlings on scanned culture plates.</p>"
                        "<p>Version %1<br>Release date: %2</p>")
                    .arg(kVersion, kReleaseDate));
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
