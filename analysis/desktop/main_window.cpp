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
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
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
#include "desktop/pic_view.h"
#include "desktop/step_dialogs.h"
#include "image/calib_param_model.h"
#include "image/pixel_pool.h"
#include "image/retouch_model.h"
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
  bool runThresholdDialog(ThresholdModel& model) override {
    bool r = false;
    dialog([&] { r = m_target.runThresholdDialog(model); });
    return r;
  }
  bool runErosionMethodDialog(ErosionMethodModel& model) override {
    bool r = false;
    dialog([&] { r = m_target.runErosionMethodDialog(model); });
    return r;
  }
  bool runRetouchDialog(RetouchModel& model) override {
    bool r = false;
    dialog([&] { r = m_target.runRetouchDialog(model); });
    return r;
  }
  bool passwordSql(PasswordSQL& d) override {
    bool r = false;
    dialog([&] { r = m_target.passwordSql(d); });
    return r;
  }
  FRONTEND::SaveFileChoice chooseSaveFile(const std::vector<FRONTEND::FileFilter>& filters, int selected,
                                          std::size_t maxName) override {
    FRONTEND::SaveFileChoice r;
    dialog([&] { r = m_target.chooseSaveFile(filters, selected, maxName); });
    return r;
  }
  bool runQuerySheet(BoxQueryPRS& sheet) override {
    bool r = false;
    dialog([&] { r = m_target.runQuerySheet(sheet); });
    return r;
  }
  FRONTEND::Answer isARoot(MyBoxIsARoot& box) override {
    FRONTEND::Answer r = FRONTEND::Answer::Cancel;
    dialog([&] { r = m_target.isARoot(box); });
    return r;
  }
  bool infoGeneral(MyBoxInfoGeneral& box) override {
    bool r = false;
    dialog([&] { r = m_target.infoGeneral(box); });
    return r;
  }
  FRONTEND::Answer resultFileExists(ResultFileExistBox& box) override {
    FRONTEND::Answer r = FRONTEND::Answer::Cancel;
    dialog([&] { r = m_target.resultFileExists(box); });
    return r;
  }
  bool resultFolder(ResultBox& box) override {
    bool r = false;
    dialog([&] { r = m_target.resultFolder(box); });
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

constexpr const char* kRecentKey = "Recent File List/File";

}  // namespace

KW_MdiFrm::KW_MdiFrm(QWidget* parent)
    : QMainWindow(parent),
      m_mdi(new QMdiArea(this)),
      m_pixelPool(std::make_shared<PixelPool>()),
      m_sampleNames(std::make_shared<SampleNamesSql>()) {
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
// Construction

QAction* KW_MdiFrm::makeAction(const char* name, const QString& text, const QString& prompt,
                               const QString& tip) {
  auto* a = new QAction(text, this);
  a->setObjectName(name);
  if (!prompt.isEmpty()) a->setStatusTip(prompt);
  if (!tip.isEmpty()) a->setToolTip(tip);
  m_actions.insert(name, a);
  return a;
}

void KW_MdiFrm::createActions() {
  // File. Only the accelerators shown after a tab without a key sequence are
  // texts; the others are bound.
  makeAction("actionNew", " &New\tCtrl+N", "Create a new document");
  QAction* a = makeAction("actionOpen", " &Open", "Open an existing picture", "Open");
  a->setShortcut(QKeySequence("Ctrl+O"));
  a->setIcon(MakeToolIcon(ToolIcon::Open));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::fileOpen);
  a = makeAction("actionClose", " &Close", "Close the active picture", "Close");
  a->setShortcut(QKeySequence("Ctrl+W"));
  a->setIcon(MakeToolIcon(ToolIcon::Close));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::fileClose);
  a = makeAction("actionSave", " &Save", "Save the active picture", "Save");
  a->setShortcut(QKeySequence("Ctrl+S"));
  a->setIcon(MakeToolIcon(ToolIcon::Save));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::fileSave);
  a = makeAction("actionSaveAs", " Save &As ...", "Save the active picture with a new name");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::fileSaveAs);
  a = makeAction("actionSaveAll", " Save A&ll", "Save all open pictures", "Save All");
  a->setIcon(MakeToolIcon(ToolIcon::SaveAll));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::fileSaveAll);
  a = makeAction("actionPrintSetup", " Print Set&up", "Change the printer and printing options");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::filePrintSetup);
  a = makeAction("actionPrintPreview", " Print Pre&view", "Display the picture as it will be printed");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::filePrintPreview);
  a = makeAction("actionPrint", " &Print\tCtrl+P", "Print the active picture", "Print");
  a->setIcon(MakeToolIcon(ToolIcon::Print));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::filePrint);
  a = makeAction("actionExit", " E&xit\tAlt+F4", "Quit the program");
  connect(a, &QAction::triggered, this, &QWidget::close);
  for (int i = 0; i < kRecentFiles; ++i) {
    auto* r = new QAction(this);
    r->setObjectName(QString("actionRecent%1").arg(i + 1));
    r->setVisible(false);
    connect(r, &QAction::triggered, this, &KW_MdiFrm::openRecentFile);
    m_recentActions << r;
  }

  // Edit and View: listed, never bound.
  for (const auto& [name, text] : {std::pair{"actionUndo", " &Undo\tCtrl+Z"},
                                   {"actionRedo", " &Redo\tCtrl+Y"},
                                   {"actionCut", " Cu&t\tCtrl+X"},
                                   {"actionCopy", " &Copy\tCtrl+C"},
                                   {"actionPaste", " &Paste\tCtrl+V"},
                                   {"actionZoomIn", " Zoom &In\tPg-Up"},
                                   {"actionZoomOut", " Zoom &Out\tPg-Dn"},
                                   {"actionAutoZoom", " &AutoZoom\tHome"}}) {
    makeAction(name, text)->setEnabled(false);
  }

  // Options.
  a = makeAction("actionResultFolder", " &Result folder path",
                 "Show or change the folder of the result files");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::resultFolderPath);
  a = makeAction("actionLastParameters", " &Last paramaters",
                 "Show the parameters of the last saved experiment");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::lastParameters);

  // Prepare and Detect: the nine steps carry the check marks.
  struct Step {
    const char* name;
    const char* text;
    const char* prompt;
    const char* tip;
    ToolIcon icon;
  };
  const Step steps[] = {
      {"actionMakeBW", " &Make B\\W", "Convert image in Black and White", "Black && White",
       ToolIcon::MakeBlackWhite},
      {"actionRemoveBox", " &Remove box", "Remove the box frame", "Remove box", ToolIcon::RemoveBox},
      {"actionRemoveNoise", " Remove noise", "Remove spurious pixels", "Remove noise", ToolIcon::RemoveNoise},
      {"actionDilate", " D&ilate", "Broaden lines", "Dilate", ToolIcon::Dilate},
      {"actionSkeletonize", " &Skeletonize", "Skeletonize the current picture", "Skeletonize",
       ToolIcon::Skeletonize},
      {"actionRetouch", " &Re-touch", "Manually edit the image", "Re-touch", ToolIcon::Retouch},
      {"actionFindRoots", " Find roots", "Detect roots and architecture", "Find roots", ToolIcon::FindRoots},
      {"actionConfirmRoots", " Confirm roots", "Confirm roots", "Confirm roots", ToolIcon::ConfirmRoots},
      {"actionSaveExperiment", " Save experiment", "Save the experiment", "Save experiment",
       ToolIcon::SaveExperiment},
  };
  for (const Step& s : steps) {
    a = makeAction(s.name, s.text, s.prompt, s.tip);
    a->setCheckable(true);
    a->setIcon(MakeToolIcon(s.icon));
  }
  auto onDoc = [this](const char* name, const std::function<void(KW_SciDoc&)>& command, Run where) {
    connect(m_actions.value(name), &QAction::triggered, this,
            [this, command, where] { runOnDocument(command, where); });
  };
  onDoc(
      "actionMakeBW", [](KW_SciDoc& d) { d.MakeBlackWhite(); }, Run::Here);
  onDoc(
      "actionRemoveBox", [](KW_SciDoc& d) { d.RemoveBox(); }, Run::Background);
  onDoc(
      "actionRemoveNoise", [](KW_SciDoc& d) { d.RemoveNoise(); }, Run::Here);
  onDoc(
      "actionDilate", [](KW_SciDoc& d) { d.Dilate(); }, Run::Background);
  onDoc(
      "actionSkeletonize", [](KW_SciDoc& d) { d.Skeletonize(); }, Run::Background);
  onDoc(
      "actionRetouch", [](KW_SciDoc& d) { Retouch(d); }, Run::Here);
  connect(m_actions.value("actionFindRoots"), &QAction::triggered, this, &KW_MdiFrm::findRoots);
  onDoc(
      "actionConfirmRoots", [](KW_SciDoc& d) { d.ConfirmRoots(); }, Run::Background);
  onDoc(
      "actionSaveExperiment", [](KW_SciDoc& d) { d.SaveExperiment(); }, Run::Background);
  makeAction("actionReusePrevious", " Re-use previous", "Prepare the picture with the last saved parameters");
  onDoc(
      "actionReusePrevious", [](KW_SciDoc& d) { d.ReusePrevious(); }, Run::Background);
  makeAction("actionAuto", " Auto", "Analyse the picture with the fixed parameters");
  onDoc(
      "actionAuto", [](KW_SciDoc& d) { d.AutoRun(); }, Run::Background);
  a = makeAction("actionColorItem", " &Color Item", "Paint every plant in a colour of its own");
  onDoc(
      "actionColorItem", [](KW_SciDoc& d) { d.ColorItems(); }, Run::Background);

  // Database.
  // Database: each command opens its own connections; it needs no picture.
  a = makeAction("actionInquire", " &Inquire", "Make database request", "Inquire");
  a->setIcon(MakeToolIcon(ToolIcon::Inquire));
  connect(a, &QAction::triggered, this, [this] { runDatabaseCommand([] { Inquire(); }); });
  a = makeAction("actionAddData", " &Add data", "Add data experiment in database", "Add data");
  a->setIcon(MakeToolIcon(ToolIcon::AddData));
  connect(a, &QAction::triggered, this, [this] { runDatabaseCommand([] { Add_Data(); }); });

  // Window.
  a = makeAction("actionCascade", " &Cascade", "Arrange the windows so that they overlap", "Cascade");
  a->setIcon(MakeToolIcon(ToolIcon::Cascade));
  connect(a, &QAction::triggered, m_mdi, &QMdiArea::cascadeSubWindows);
  a = makeAction("actionTileHorizontally", " Tile &Horizontally", "Arrange the windows one above the other",
                 "Tile Horizontally");
  a->setIcon(MakeToolIcon(ToolIcon::TileHorizontally));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::tileHorizontally);
  a = makeAction("actionTileVertically", " Tile &Vertically", "Arrange the windows side by side",
                 "Tile Vertically");
  a->setIcon(MakeToolIcon(ToolIcon::TileVertically));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::tileVertically);
  a = makeAction("actionArrangeIcons", " &Arrange Icons", "Arrange the minimised windows along the bottom");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::arrangeIcons);

  // Help.
  a = makeAction("actionHelpContents", " &Contents", "Show the contents of the manual", "Help Contents");
  a->setShortcut(QKeySequence(Qt::Key_F1));
  a->setIcon(MakeToolIcon(ToolIcon::HelpContents));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::helpContents);
  a = makeAction("actionHelpIndex", " &Index", "Show the index of the manual", "Help Index");
  a->setShortcut(QKeySequence("Ctrl+H"));
  a->setIcon(MakeToolIcon(ToolIcon::HelpIndex));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::helpIndex);
  a = makeAction("actionHelpSearch", " &Search", "Search the manual", "Help Search");
  a->setShortcut(QKeySequence("Ctrl+Q"));
  a->setIcon(MakeToolIcon(ToolIcon::HelpSearch));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::helpSearch);
  a = makeAction("actionUserManual", " &User manual", "Open the user manual");
  a->setShortcut(QKeySequence("Ctrl+M"));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::helpUserManual);
  a = makeAction("actionAbout", " &About Morvane", "Show the program's version", "About");
  a->setShortcut(QKeySequence("Ctrl+A"));
  a->setIcon(MakeToolIcon(ToolIcon::About));
  connect(a, &QAction::triggered, this, &KW_MdiFrm::helpAbout);
}

void KW_MdiFrm::createMenus() {
  auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
    for (const char* n : names) {
      if (n == nullptr) {
        menu->addSeparator();
      } else {
        menu->addAction(m_actions.value(n));
      }
    }
  };
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("menuFile");
  add(file, {"actionNew", "actionOpen", "actionClose", "actionSave", "actionSaveAs", "actionSaveAll", nullptr,
             "actionPrintSetup", "actionPrintPreview", "actionPrint", nullptr});
  m_recentMenu = file->addMenu(" Recent Files");
  m_recentMenu->setObjectName("menuRecentFiles");
  m_recentMenu->addActions(m_recentActions);
  file->addSeparator();
  add(file, {"actionExit"});

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("menuEdit");
  add(edit, {"actionUndo", "actionRedo", nullptr, "actionCut", "actionCopy", "actionPaste"});

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("menuView");
  add(view, {"actionZoomIn", "actionZoomOut", "actionAutoZoom", nullptr});
  QMenu* bars = view->addMenu(" Toolbars");
  bars->setObjectName("menuToolbars");
  // Filled by createToolBars.

  QMenu* options = menuBar()->addMenu("&Options");
  options->setObjectName("menuOptions");
  add(options, {"actionResultFolder", "actionLastParameters"});

  QMenu* prepare = menuBar()->addMenu("&Prepare");
  prepare->setObjectName("menuPrepare");
  add(prepare, {"actionMakeBW", "actionRemoveBox", "actionRemoveNoise", "actionDilate", nullptr,
                "actionReusePrevious", "actionAuto"});

  QMenu* detect = menuBar()->addMenu("&Detect");
  detect->setObjectName("menuDetect");
  add(detect, {"actionSkeletonize", "actionRetouch", nullptr, "actionFindRoots", "actionConfirmRoots",
               "actionColorItem", nullptr, "actionSaveExperiment"});

  QMenu* database = menuBar()->addMenu("&Database");
  database->setObjectName("menuDatabase");
  add(database, {"actionInquire", "actionAddData"});

  m_windowMenu = menuBar()->addMenu("&Window");
  m_windowMenu->setObjectName("menuWindow");
  connect(m_windowMenu, &QMenu::aboutToShow, this, &KW_MdiFrm::updateWindowMenu);
  updateWindowMenu();

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("menuHelp");
  add(help, {"actionHelpContents", "actionHelpIndex", "actionHelpSearch", nullptr, "actionUserManual",
             nullptr, "actionAbout"});
}

void KW_MdiFrm::createToolBars() {
  auto bar = [this](const char* name, const QString& title, std::initializer_list<const char*> names) {
    QToolBar* tb = addToolBar(title);
    tb->setObjectName(name);
    tb->setIconSize(QSize(24, 24));
    for (const char* n : names) {
      if (n == nullptr) {
        tb->addSeparator();
        continue;
      }
      QAction* a = m_actions.value(n);
      tb->addAction(a);
      if (auto* button = qobject_cast<QToolButton*>(tb->widgetForAction(a))) button->setFixedSize(30, 30);
    }
    return tb;
  };
  QToolBar* standard =
      bar("standardTools", "Standard Tools",
          {"actionOpen", "actionClose", "actionSave", "actionSaveAll", "actionPrint", nullptr,
           "actionCascade", "actionTileHorizontally", "actionTileVertically", nullptr, "actionHelpContents",
           "actionHelpIndex", "actionHelpSearch", "actionAbout"});
  QToolBar* morvane = bar(
      "morvaneTools", "Morvane Tools",
      {"actionMakeBW", "actionRemoveBox", "actionRemoveNoise", "actionDilate", nullptr, "actionSkeletonize",
       "actionRetouch", "actionFindRoots", "actionConfirmRoots", nullptr, "actionSaveExperiment"});
  QToolBar* database = bar("databaseTools", "Database Tools", {"actionAddData", "actionInquire"});

  auto* bars = menuBar()->findChild<QMenu*>("menuToolbars");
  const std::pair<QToolBar*, const char*> toggles[] = {
      {standard, "Standard ToolBar"}, {morvane, "Morvane Toolbar"}, {database, "Database ToolBar"}};
  for (const auto& [tb, text] : toggles) {
    QAction* t = tb->toggleViewAction();
    t->setText(QString(" ") + text);
    t->setObjectName(QString("toggle_") + tb->objectName());
    t->setStatusTip("Show or hide the toolbar");
    bars->addAction(t);
  }
}

void KW_MdiFrm::createStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("statusBar");
  for (int i = 0; i < 4; ++i) {
    auto* pane = new QLabel(this);
    pane->setObjectName(QString("pane%1").arg(i + 1));
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    pane->setFixedWidth(i < 3 ? 90 : 256);
    if (i == 3) pane->setText("-N/A-");
    bar->addPermanentWidget(pane);
    m_panes << pane;
  }
  bar->showMessage("Ready");
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
        "actionCascade", "actionTileHorizontally", "actionTileVertically", "actionArrangeIcons"}) {
    m_actions.value(n)->setEnabled(doc);
  }
  for (const char* n : {"actionOpen", "actionPrintSetup", "actionResultFolder", "actionLastParameters"}) {
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
  auto* child = new KW_MdiUsr(full);
  child->document().pixelPool = m_pixelPool;
  child->document().sampleNames = m_sampleNames;
  connect(child, &KW_MdiUsr::recentFileOpened, this, &KW_MdiFrm::addRecentFile);
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
    const FRONTEND::WaitCursor wait;
    read = child->open();
  }
  if (!read) {
    child->close();
    FRONTEND::ShowMessage(
        QString("Cannot open %1: it is not a readable bitmap file.").arg(full).toStdString());
    updateActions();
    return nullptr;
  }
  statusBar()->showMessage(QString("Opened %1").arg(full), 5000);
  updateActions();
  return child;
}

void KW_MdiFrm::fileOpen() {
  const QStringList recent = recentFiles();
  const QString start = recent.isEmpty() ? QString() : QFileInfo(recent.first()).absolutePath();
  const QStringList files = QFileDialog::getOpenFileNames(this, "Open", start, "Image Files (*.bmp)");
  for (const QString& f : files) openFile(f);
}

void KW_MdiFrm::fileClose() {
  if (!m_busy) m_mdi->closeActiveSubWindow();
}

bool KW_MdiFrm::saveChild(KW_MdiUsr* child) {
  if (child == nullptr) return false;
  if (!child->document().OnSaveDocument(child->path().toStdString())) {
    FRONTEND::ShowMessage(QString("Cannot save %1.").arg(child->path()).toStdString());
    return false;
  }
  return true;
}

bool KW_MdiFrm::saveChildAs(KW_MdiUsr* child) {
  if (child == nullptr) return false;
  QString file = QFileDialog::getSaveFileName(this, "Save As", child->path(), "Image Files (*.bmp)");
  if (file.isEmpty()) return false;
  if (!file.endsWith(".bmp", Qt::CaseInsensitive)) file += ".bmp";
  if (!child->document().OnSaveDocument(file.toStdString())) {
    FRONTEND::ShowMessage(QString("Cannot save %1.").arg(file).toStdString());
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
  if (where == Run::Here) {
    command(child->document());
  } else {
    runInBackground(child, [child, &command] { command(child->document()); });
  }
  updateActions();
}

void KW_MdiFrm::findRoots() {
  KW_MdiUsr* child = activeChild();
  if (child == nullptr || m_busy) return;
  child->view()->clearOverlay();
  OverlayPicture overlay;
  runInBackground(child, [child, &overlay] {
    KW_SciDoc& doc = child->document();
    doc.FindRoots();
    overlay = PreviewOverlay(doc);
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

void KW_MdiFrm::runDatabaseCommand(const std::function<void()>& command) {
  if (m_busy) return;
  runInBackground(nullptr, command);
  updateActions();
}

void KW_MdiFrm::runInBackground(KW_MdiUsr* child, const std::function<void()>& work) {
  m_busy = true;
  updateActions();
  if (child != nullptr) child->setBusy(true);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  QEventLoop loop;
  FRONTEND::Frontend& here = FRONTEND::Current();
  ForwardingFrontend forward(here, this, child);
  std::thread worker([&] {
    const FRONTEND::ScopedFrontend scope(forward);
    work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The windows keep painting; the user's input waits until the command ends.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  QGuiApplication::restoreOverrideCursor();
  if (child != nullptr) child->setBusy(false);
  m_busy = false;
}

// ---------------------------------------------------------------------------
// Printing

void KW_MdiFrm::filePrintSetup() {
  if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPageSetupDialog dialog(m_printer.get(), this);
  dialog.exec();
}

void KW_MdiFrm::filePrintPreview() {
  if (activeChild() == nullptr) return;
  if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintPreviewDialog preview(m_printer.get(), this);
  preview.setObjectName("printPreview");
  connect(&preview, &QPrintPreviewDialog::paintRequested, this, &KW_MdiFrm::printPicture);
  preview.exec();
}

void KW_MdiFrm::filePrint() {
  if (activeChild() == nullptr) return;
  if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(m_printer.get(), this);
  if (dialog.exec() == QDialog::Accepted) printPicture(m_printer.get());
}

void KW_MdiFrm::printPicture(QPrinter* printer) {
  KW_MdiUsr* child = activeChild();
  if (child == nullptr) return;
  const KW_SciDoc& doc = child->document();
  std::vector<std::uint32_t> top(doc.pixels.size());
  if (!doc.hasPicture() ||
      top.size() != static_cast<std::size_t>(doc.width) * static_cast<std::size_t>(doc.height))
    return;
  CopyFlipped(doc.pixels.data(), top.data(), doc.width, doc.height);
  const QImage image = PictureImage(top, doc.width, doc.height);
  QPainter painter(printer);
  const QRect page = painter.viewport();
  QSize size = image.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(page.topLeft(), size), image);
}

// ---------------------------------------------------------------------------
// Windows

void KW_MdiFrm::tileHorizontally() {
  QList<QMdiSubWindow*> windows;
  for (QMdiSubWindow* w : m_mdi->subWindowList()) {
    if (!w->isMinimized()) windows << w;
  }
  if (windows.isEmpty()) return;
  const QSize area = m_mdi->viewport()->size();
  const int h = area.height() / static_cast<int>(windows.size());
  int y = 0;
  for (QMdiSubWindow* w : windows) {
    w->showNormal();
    w->setGeometry(0, y, area.width(), h);
    y += h;
  }
}

void KW_MdiFrm::tileVertically() {
  QList<QMdiSubWindow*> windows;
  for (QMdiSubWindow* w : m_mdi->subWindowList()) {
    if (!w->isMinimized()) windows << w;
  }
  if (windows.isEmpty()) return;
  const QSize area = m_mdi->viewport()->size();
  const int w0 = area.width() / static_cast<int>(windows.size());
  int x = 0;
  for (QMdiSubWindow* w : windows) {
    w->showNormal();
    w->setGeometry(x, 0, w0, area.height());
    x += w0;
  }
}

void KW_MdiFrm::arrangeIcons() {
  const QSize area = m_mdi->viewport()->size();
  int x = 0;
  int y = area.height();
  for (QMdiSubWindow* w : m_mdi->subWindowList()) {
    if (!w->isMinimized()) continue;
    const QSize s = w->size();
    if (x + s.width() > area.width() && x > 0) {
      x = 0;
      y -= s.height();
    }
    w->move(x, y - s.height());
    x += s.width();
  }
}

void KW_MdiFrm::updateWindowMenu() {
  m_windowMenu->clear();
  for (const char* n :
       {"actionCascade", "actionTileHorizontally", "actionTileVertically", "actionArrangeIcons"})
    m_windowMenu->addAction(m_actions.value(n));
  const QList<KW_MdiUsr*> list = children();
  if (!list.isEmpty()) m_windowMenu->addSeparator();
  int i = 0;
  for (KW_MdiUsr* c : list) {
    QAction* a = m_windowMenu->addAction(QString("&%1 %2").arg(++i).arg(c->title()));
    a->setCheckable(true);
    a->setChecked(c == activeChild());
    connect(a, &QAction::triggered, this, [this, c] { m_mdi->setActiveSubWindow(c); });
  }
}

// ---------------------------------------------------------------------------
// Options and help

void KW_MdiFrm::resultFolderPath() {
  ResultBox box;
  ResultFolderDialog dialog(box, this);
  dialog.exec();
}

void KW_MdiFrm::lastParameters() {
  CalibParamBox box(ReadLastCalibParams(), this);
  box.exec();
}

void KW_MdiFrm::helpContents() {
  if (m_help == nullptr) m_help = new HelpWindow(this);
  m_help->showContents();
}

void KW_MdiFrm::helpIndex() {
  if (m_help == nullptr) m_help = new HelpWindow(this);
  m_help->showIndex();
}

void KW_MdiFrm::helpSearch() {
  if (m_help == nullptr) m_help = new HelpWindow(this);
  m_help->showSearch();
}

void KW_MdiFrm::helpUserManual() {
  const QString pdf = UserManualPdf();
  if (!pdf.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(pdf))) return;
  helpContents();
}

void KW_MdiFrm::helpAbout() {
  AboutBox box(this);
  box.exec();
}
