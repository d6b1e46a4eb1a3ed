#include "desktop/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <thread>

#include "base/frontend.h"
#include "database/import.h"
#include "database/query_run.h"
#include "database/sample_names_sql.h"
#include "desktop/analysis_dialogs.h"
#include "desktop/help_window.h"
#include "desktop/icons.h"
#include "desktop/mdi_child.h"
#include "desktop/options_dialog.h"
#include "desktop/pic_view.h"
#include "desktop/step_dialogs.h"
#include "image/calib_param_model.h"
#include "image/pic_doc.h"
#include "image/pixel_pool.h"
#include "image/retouch_model.h"
#include "image/step_marks.h"
#include "roots/analysis_dialog_models.h"
#include "roots/overlay_picture.h"
#include "roots/sci_doc.h"

namespace {

// The frontend of a worker thread: every box and dialog is shown on the
// interface thread while the worker waits, and the document is handed back
// to its window for that time, so that what the user sees is what the
// command has done so far.
class ForwardingFrontend : public FRONTEND::Frontend {
 public:
  ForwardingFrontend(FRONTEND::Frontend& target, QObject* context, KW_MdiUsr* child)
      : m_target(target), m_context(context), m_child(child) {}

  void showMessage(const std::string& title, const std::string& text) override {
    dialog([&] { m_target.showMessage(title, text); });
  }
  bool askYesNo(const std::string& title, const std::string& text) override {
    bool r = false;
    dialog([&] { r = m_target.askYesNo(title, text); });
    return r;
  }
  bool askOkCancel(const std::string& title, const std::string& text) override {
    bool r = false;
    dialog([&] { r = m_target.askOkCancel(title, text); });
    return r;
  }
  FRONTEND::Answer askYesNoCancel(const std::string& title, const std::string& text) override {
    FRONTEND::Answer r = FRONTEND::Answer::Cancel;
    dialog([&] { r = m_target.askYesNoCancel(title, text); });
    return r;
  }
  FRONTEND::FolderChoice chooseFolder(const std::string& title, const std::string& start) override {
    FRONTEND::FolderChoice r;
    dialog([&] { r = m_target.chooseFolder(title, start); });
    return r;
  }
  FRONTEND::Answer ask(const FRONTEND::DialogRequest& request) override {
    FRONTEND::Answer r = FRONTEND::Answer::Cancel;
    dialog([&] { r = m_target.ask(request); });
    return r;
  }
  // The whole background run shows the wait cursor already.
  void setWaitCursor(bool /*on*/) override {}

 private:
  void dialog(const std::function<void()>& show) {
    QMetaObject::invokeMethod(
        m_context,
        [&] {
          if (m_child != nullptr) m_child->setBusy(false);
          QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
          show();
          QGuiApplication::restoreOverrideCursor();
          if (m_child != nullptr) m_child->setBusy(true);
        },
        Qt::BlockingQueuedConnection);
  }

  FRONTEND::Frontend& m_target;
  QObject* m_context;
  KW_MdiUsr* m_child;
};

// True once a step has changed the picture since it was opened.
bool PictureChanged(const KW_SciDoc& doc) {
  for (int i = 0; i < kStepMarkCount; ++i)
    if (doc.marks.isChecked(static_cast<StepMark>(i))) return true;
  return false;
}

constexpr const char* kRecentKey = "Recent File List/File";
// Every format the document reads, first together, then one by one.
constexpr const char* kOpenFilters =
    "Pictures (*.bmp *.png *.jpg *.jpeg *.tif *.tiff);;Bitmaps (*.bmp);;PNG (*.png);;JPEG (*.jpg *.jpeg);;"
    "TIFF (*.tif *.tiff);;All files (*)";

}  // namespace

KW_MdiFrm::KW_MdiFrm(FRONTEND::Frontend& frontend, QWidget* parent)
    : QMainWindow(parent),
      m_frontend(frontend),
      m_mdi(new QMdiArea(this)),
      m_pixelPool(std::make_shared<PixelPool>()),
      m_sampleNames(std::make_shared<SampleNamesSql>()),
      m_options(LoadAnalysisOptions()) {
  setObjectName("KW_MdiFrm");
  setWindowTitle("Morvane");
  setWindowIcon(MorvaneIcon());
  m_mdi->setObjectName("mdiArea");
  m_mdi->setBackground(palette().button());
  m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(m_mdi);

  createActions();
  createMenus();
  createToolBars();
  createStatusBar();
  updateRecentFileActions();

  connect(m_mdi, &QMdiArea::subWindowActivated, this, &KW_MdiFrm::childActivated);
  // Most of the screen: plates are large pictures.
  QSize size(1100, 800);
  if (QScreen* screen = QGuiApplication::primaryScreen()) size = screen->availableGeometry().size() * 9 / 10;
  resize(size);
  updateActions();
}

KW_MdiFrm::~KW_MdiFrm() {
  // The windows are closed by the base class, after this object's members are gone.
  m_mdi->disconnect(this);
  for (KW_MdiUsr* c : children()) c->disconnect(this);
}

// ---------------------------------------------------------------------------
// State

QAction* KW_MdiFrm::action(const QString& name) const { return m_actions.value(name); }

KW_MdiUsr* KW_MdiFrm::activeChild() const { return qobject_cast<KW_MdiUsr*>(m_mdi->activeSubWindow()); }

QList<KW_MdiUsr*> KW_MdiFrm::children() const {
  QList<KW_MdiUsr*> list;
  for (QMdiSubWindow* w : m_mdi->subWindowList()) {
    if (auto* c = qobject_cast<KW_MdiUsr*>(w)) list << c;
  }
  return list;
}

KW_MdiUsr* KW_MdiFrm::findChildWindow(const QString& title) const {
  for (KW_MdiUsr* c : children()) {
    if (c->title().compare(title, Qt::CaseInsensitive) == 0) return c;
  }
  return nullptr;
}

void KW_MdiFrm::updateActions() {
  KW_MdiUsr* child = activeChild();
  const bool doc = child != nullptr && !m_busy;
  const bool picture = doc && child->document().hasPicture();
  for (const char* n :
       {"actionClose", "actionSave", "actionSaveAs", "actionSaveAll", "actionPrintPreview", "actionPrint",
        "actionCascade", "actionTileHorizontally", "actionTileVertically", "actionArrangeIcons",
        "actionZoomIn", "actionZoomOut", "actionAutoZoom", "actionActualSize"}) {
    m_actions.value(n)->setEnabled(doc);
  }
  for (const char* n : {"actionOpen", "actionAnalyseFolder", "actionPrintSetup", "actionResultFolder",
                        "actionLastParameters", "actionAnalysisOptions"}) {
    m_actions.value(n)->setEnabled(!m_busy);
  }
  m_actions.value("actionNew")->setEnabled(false);  // no new picture can be made
  for (QAction* r : m_recentActions) r->setEnabled(!m_busy);
  // The steps and their check marks: those of the active document.
  static constexpr std::pair<const char*, StepMark> kSteps[] = {
      {"actionMakeBW", StepMark::MakeBlackWhite},        {"actionRemoveBox", StepMark::RemoveBox},
      {"actionRemoveNoise", StepMark::RemoveNoise},      {"actionDilate", StepMark::Dilate},
      {"actionSkeletonize", StepMark::Skeletonize},      {"actionRetouch", StepMark::Retouch},
      {"actionFindRoots", StepMark::FindRoots},          {"actionConfirmRoots", StepMark::ConfirmRoots},
      {"actionSaveExperiment", StepMark::SaveExperiment}};
  for (const auto& [name, mark] : kSteps) {
    QAction* a = m_actions.value(name);
    a->setChecked(child != nullptr && child->document().marks.isChecked(mark));
  }
  for (const char* n : {"actionMakeBW", "actionRemoveBox", "actionRemoveNoise", "actionDilate",
                        "actionSkeletonize", "actionRetouch", "actionFindRoots", "actionColorItem",
                        "actionConfirmRoots", "actionSaveExperiment", "actionReusePrevious", "actionAuto"}) {
    m_actions.value(n)->setEnabled(picture);
  }
  for (const char* n : {"actionInquire", "actionAddData"}) m_actions.value(n)->setEnabled(!m_busy);
  if (m_panes.size() == 4) {
    m_panes[3]->setText(
        picture ? QString("%1 x %2 pixels").arg(child->document().width).arg(child->document().height)
                : QString("-N/A-"));
  }
}

void KW_MdiFrm::childActivated(QMdiSubWindow* /*window*/) { updateActions(); }

void KW_MdiFrm::closeEvent(QCloseEvent* event) {
  if (m_busy) {
    event->ignore();
    return;
  }
  m_mdi->closeAllSubWindows();
  if (m_help != nullptr) m_help->close();
  event->accept();
}

// ---------------------------------------------------------------------------
// Recent files

QStringList KW_MdiFrm::recentFiles() const {
  QSettings settings;
  QStringList files;
  for (int i = 0; i < kRecentFiles; ++i) {
    const QString f = settings.value(QString("%1%2").arg(kRecentKey).arg(i + 1)).toString();
    if (!f.isEmpty()) files << f;
  }
  return files;
}

void KW_MdiFrm::addRecentFile(const QString& path) {
  QStringList files = recentFiles();
  const QString full = QFileInfo(path).absoluteFilePath();
  files.removeAll(full);
  files.prepend(full);
  while (files.size() > kRecentFiles) files.removeLast();
  QSettings settings;
  for (int i = 0; i < kRecentFiles; ++i) {
    const QString key = QString("%1%2").arg(kRecentKey).arg(i + 1);
    if (i < files.size()) {
      settings.setValue(key, files[i]);
    } else {
      settings.remove(key);
    }
  }
  updateRecentFileActions();
}

void KW_MdiFrm::updateRecentFileActions() {
  const QStringList files = recentFiles();
  for (int i = 0; i < kRecentFiles; ++i) {
    QAction* r = m_recentActions[i];
    if (i < files.size()) {
      r->setText(QString("&%1 %2").arg(i + 1).arg(files[i]));
      r->setData(files[i]);
      r->setStatusTip(QString("Open %1").arg(files[i]));
      r->setVisible(true);
    } else {
      r->setVisible(false);
    }
  }
  if (m_recentMenu != nullptr) m_recentMenu->setEnabled(!files.isEmpty());
}

void KW_MdiFrm::openRecentFile() {
  if (auto* a = qobject_cast<QAction*>(sender())) openFile(a->data().toString());
}

// ---------------------------------------------------------------------------
// Documents

KW_MdiUsr* KW_MdiFrm::openFile(const QString& path) {
  if (m_busy || path.isEmpty()) return nullptr;
  const QString full = QFileInfo(path).absoluteFilePath();
  for (KW_MdiUsr* c : children()) {
    if (c->path() == full) {
      m_mdi->setActiveSubWindow(c);
      return c;
    }
  }
  // A new window opens maximised when the active one is, or when there is
  // none and the main window is maximised.
  QMdiSubWindow* active = m_mdi->activeSubWindow();
  const bool maximised = active != nullptr ? active->isMaximized() : isMaximized();
  auto* child = new KW_MdiUsr(full, m_frontend);
  child->document().pixelPool = m_pixelPool;
  child->document().sampleNames = m_sampleNames;
  ApplyAnalysisOptions(m_options, child->document().settings);
  connect(child, &QObject::destroyed, this, &KW_MdiFrm::updateActions, Qt::QueuedConnection);
  m_mdi->addSubWindow(child);
  child->resize(m_mdi->viewport()->size() * 3 / 4);
  if (maximised) {
    child->showMaximized();
  } else {
    child->show();
  }
  bool read = false;
  {
    const FRONTEND::WaitCursor wait(m_frontend);
    read = child->open();
  }
  if (!read) {
    // A file that could not be read stays out of the recent files.
    const std::string reason = child->document().loadError;
    child->close();
    FRONTEND::ShowMessage(m_frontend, QString("Cannot open %1: %2.")
                                          .arg(full, reason.empty() ? QString("it could not be read")
                                                                    : QString::fromStdString(reason))
                                          .toStdString());
    updateActions();
    return nullptr;
  }
  // Only a picture that was read joins the recent files, then and on every later open.
  addRecentFile(full);
  connect(child, &KW_MdiUsr::recentFileOpened, this, &KW_MdiFrm::addRecentFile);
  statusBar()->showMessage(QString("Opened %1").arg(full), 5000);
  updateActions();
  return child;
}

void KW_MdiFrm::fileOpen() {
  const QStringList recent = recentFiles();
  const QString start = recent.isEmpty() ? QString() : QFileInfo(recent.first()).absolutePath();
  const QStringList files = QFileDialog::getOpenFileNames(this, "Open", start, kOpenFilters);
  for (const QString& f : files) openFile(f);
}

void KW_MdiFrm::fileClose() {
  if (!m_busy) m_mdi->closeActiveSubWindow();
}

bool KW_MdiFrm::saveChild(KW_MdiUsr* child) {
  if (child == nullptr) return false;
  // Only bitmaps are written: another picture is saved under a new name.
  if (!HasBitmapExtension(child->path().toStdString())) return saveChildAs(child);
  if (PictureChanged(child->document())) {
    // The file still holds the scan; a step's result never replaces it unasked.
    QMessageBox box(QMessageBox::Warning, "Morvane",
                    QString("%1 holds the picture as it was scanned. Saving here replaces it with the "
                            "picture the steps have made, and the scan is lost.")
                        .arg(child->title()),
                    QMessageBox::NoButton, this);
    box.setObjectName("overwriteScan");
    QPushButton* saveAs = box.addButton("Save As...", QMessageBox::AcceptRole);
    saveAs->setObjectName("saveAs");
    QPushButton* replace = box.addButton("Replace the scan", QMessageBox::DestructiveRole);
    replace->setObjectName("replace");
    box.addButton(QMessageBox::Cancel)->setObjectName("cancel");
    box.setDefaultButton(saveAs);
    box.exec();
    if (box.clickedButton() == saveAs) return saveChildAs(child);
    if (box.clickedButton() != replace) return false;
  }
  if (!child->document().OnSaveDocument(child->path().toStdString())) {
    FRONTEND::ShowMessage(m_frontend, QString("Cannot save %1.").arg(child->path()).toStdString());
    return false;
  }
  return true;
}

bool KW_MdiFrm::saveChildAs(KW_MdiUsr* child) {
  if (child == nullptr) return false;
  // A new name beside the scan is proposed, so that it is kept.
  const QFileInfo scan(child->path());
  const QString proposed = scan.absolutePath() + "/" + scan.completeBaseName() + "_processed.bmp";
  QString file = QFileDialog::getSaveFileName(this, "Save As", proposed, "Image Files (*.bmp)");
  if (file.isEmpty()) return false;
  if (!file.endsWith(".bmp", Qt::CaseInsensitive)) file += ".bmp";
  if (!child->document().OnSaveDocument(file.toStdString())) {
    FRONTEND::ShowMessage(m_frontend, QString("Cannot save %1.").arg(file).toStdString());
    return false;
  }
  child->setPath(file);
  addRecentFile(file);
  return true;
}

void KW_MdiFrm::fileSave() { saveChild(activeChild()); }
void KW_MdiFrm::fileSaveAs() { saveChildAs(activeChild()); }
void KW_MdiFrm::fileSaveAll() {
  for (KW_MdiUsr* c : children()) saveChild(c);
}

void KW_MdiFrm::runOnDocument(const std::function<void(KW_SciDoc&)>& command, Run where) {
  KW_MdiUsr* child = activeChild();
  if (child == nullptr || m_busy) return;
  // The next step changes the picture: the overlay of the plants would no longer match it.
  child->view()->clearOverlay();
  ApplyAnalysisOptions(m_options, child->document().settings);
  if (where == Run::Here) {
    command(child->document());
  } else {
    runInBackground(child, [child, &command](FRONTEND::Frontend& frontend) {
      // The command's boxes are shown by this window while it runs on the worker.
      KW_SciDoc& doc = child->document();
      FRONTEND::Frontend* const windows = doc.setFrontend(&frontend);
      command(doc);
      doc.setFrontend(windows);
    });
  }
  updateActions();
}

void KW_MdiFrm::findRoots() {
  KW_MdiUsr* child = activeChild();
  if (child == nullptr || m_busy) return;
  child->view()->clearOverlay();
  ApplyAnalysisOptions(m_options, child->document().settings);
  OverlayPicture overlay;
  runInBackground(child, [child, &overlay](FRONTEND::Frontend& frontend) {
    KW_SciDoc& doc = child->document();
    FRONTEND::Frontend* const windows = doc.setFrontend(&frontend);
    doc.FindRoots();
    overlay = PreviewOverlay(doc);
    doc.setFrontend(windows);
  });
  // Drawn by the core, shown here: the picture the batch program writes.
  if (!overlay.index.empty()) {
    QImage image(overlay.width, overlay.height, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (const std::uint32_t c : overlay.palette) colours.push_back(0xFF000000U | c);
    image.setColorTable(colours);
    for (int r = 0; r < overlay.height; ++r)
      std::copy_n(
          overlay.index.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(overlay.width),
          overlay.width, image.scanLine(r));
    child->view()->showOverlay(image);
  }
  updateActions();
}

void KW_MdiFrm::runDatabaseCommand(const std::function<void(FRONTEND::Frontend&)>& command) {
  if (m_busy) return;
  runInBackground(nullptr, command);
  updateActions();
}

void KW_MdiFrm::runInBackground(KW_MdiUsr* child, const std::function<void(FRONTEND::Frontend&)>& work) {
  m_busy = true;
  updateActions();
  if (child != nullptr) child->setBusy(true);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  QEventLoop loop;
  ForwardingFrontend forward(m_frontend, this, child);
  std::thread worker([&] {
    work(forward);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The windows keep painting; the user's input waits until the command ends.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  QGuiApplication::restoreOverrideCursor();
  if (child != nullptr) child->setBusy(false);
  m_busy = false;
}
