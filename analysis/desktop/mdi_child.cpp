#include "desktop/mdi_child.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QThread>

#include "desktop/pic_view.h"
#include "roots/sci_doc.h"

namespace {
std::unique_ptr<KW_SciDoc> MakeDocument(FRONTEND::Frontend& frontend) {
  auto doc = std::make_unique<KW_SciDoc>();
  doc->setFrontend(&frontend);
  return doc;
}
}  // namespace

KW_MdiUsr::KW_MdiUsr(const QString& path, FRONTEND::Frontend& frontend, QWidget* parent)
    : QMdiSubWindow(parent), m_doc(MakeDocument(frontend)), m_view(new KW_SciVuw(*m_doc, this)) {
  setObjectName("pictureWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(m_view);
  setPath(path);
  m_doc->view = this;
  // The overlay after Find roots shows the plants over the picture as opened.
  m_doc->keepOpenedPicture = true;
}

KW_MdiUsr::~KW_MdiUsr() {
  m_doc->view = nullptr;
  // The view refers to the document: it goes first.
  delete widget();
}

void KW_MdiUsr::setPath(const QString& path) {
  m_path = path;
  setWindowTitle(title());
  // The result file is named after the picture, without its extension.
  m_doc->title = QFileInfo(path).completeBaseName().toStdString().substr(0, KW_SciDoc::kMaxPathText - 1);
}

QString KW_MdiUsr::title() const { return QFileInfo(m_path).fileName(); }

bool KW_MdiUsr::open() { return m_doc->OpenPicture(m_path.toStdString()); }

bool KW_MdiUsr::onInterfaceThread() const { return QThread::currentThread() == thread(); }

void KW_MdiUsr::setBusy(bool busy) {
  m_busy = busy;
  m_view->setDocumentBusy(busy);
  if (busy) return;
  if (m_pendingRefit.exchange(false)) m_view->clearFitted();
  if (m_pendingRefresh.exchange(false)) m_view->Refresh();
}

void KW_MdiUsr::addRecentFile(const std::string& path) {
  const QString p = QString::fromStdString(path);
  if (onInterfaceThread()) {
    emit recentFileOpened(p);
  } else {
    QMetaObject::invokeMethod(
        this, [this, p] { emit recentFileOpened(p); }, Qt::QueuedConnection);
  }
}

void KW_MdiUsr::refitFirstView() {
  if (onInterfaceThread() && !m_busy) {
    m_view->clearFitted();
    m_view->Refresh();
    return;
  }
  m_pendingRefit = true;
  m_pendingRefresh = true;
}

void KW_MdiUsr::refreshFirstView() {
  if (onInterfaceThread() && !m_busy) {
    m_view->Refresh();
    return;
  }
  m_pendingRefresh = true;
}

void KW_MdiUsr::highlightArea(int left, int top, int width, int height) {
  const QRect area(left, top, width, height);
  // From a command in the background the frame is drawn by the interface
  // thread, before the dialog that asks about it opens.
  if (onInterfaceThread()) {
    m_view->setHighlight(area);
  } else {
    QMetaObject::invokeMethod(
        this, [this, area] { m_view->setHighlight(area); }, Qt::QueuedConnection);
  }
}

void KW_MdiUsr::closeEvent(QCloseEvent* event) {
  if (m_busy) {
    event->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(event);
}
