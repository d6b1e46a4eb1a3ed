// The main window's actions, menus, toolbars and status bar, and the
// handlers of its Print, Window and Help menus.
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
#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "desktop/options_dialog.h"
#include "desktop/pic_view.h"
#include "desktop/step_dialogs.h"
#include "image/calib_param_model.h"
#include "image/pixel_pool.h"
#include "image/retouch_model.h"
#include "roots/analysis_dialog_models.h"
#include "roots/overlay_picture.h"
#include "roots/sci_doc.h"

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
  a = makeAction("actionAnalyseFolder", " Analyse &folder...", "Analyse every picture of a folder");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::fileAnalyseFolder);
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

  // Edit: listed, never bound.
  for (const auto& [name, text] : {std::pair{"actionUndo", " &Undo\tCtrl+Z"},
                                   {"actionRedo", " &Redo\tCtrl+Y"},
                                   {"actionCut", " Cu&t\tCtrl+X"},
                                   {"actionCopy", " &Copy\tCtrl+C"},
                                   {"actionPaste", " &Paste\tCtrl+V"}}) {
    makeAction(name, text)->setEnabled(false);
  }
  // View: the zoom of the active picture window.
  const auto onView = [this](const char* name, const QString& text, const QString& prompt,
                             const QList<QKeySequence>& keys, void (KW_PicVuw::*zoom)()) {
    QAction* z = makeAction(name, text, prompt);
    z->setShortcuts(keys);
    connect(z, &QAction::triggered, this, [this, zoom] {
      if (KW_MdiUsr* child = activeChild()) (child->view()->*zoom)();
    });
  };
  onView("actionZoomIn", " Zoom &In", "Magnify the picture",
         {QKeySequence(Qt::Key_PageUp), QKeySequence(QKeySequence::ZoomIn)}, &KW_PicVuw::zoomIn);
  onView("actionZoomOut", " Zoom &Out", "Reduce the picture",
         {QKeySequence(Qt::Key_PageDown), QKeySequence(QKeySequence::ZoomOut)}, &KW_PicVuw::zoomOut);
  onView("actionAutoZoom", " &AutoZoom", "Fit the picture to its window", {QKeySequence(Qt::Key_Home)},
         &KW_PicVuw::fitToWindow);
  onView("actionActualSize", " Actual &size (1:1)", "One picture pixel per screen pixel",
         {QKeySequence("Ctrl+1")}, &KW_PicVuw::actualSize);

  // Options.
  a = makeAction("actionResultFolder", " &Result folder path",
                 "Show or change the folder of the result files");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::resultFolderPath);
  a = makeAction("actionLastParameters", " &Last paramaters",
                 "Show the parameters of the last saved experiment");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::lastParameters);
  a = makeAction("actionAnalysisOptions", " Analysis &options...",
                 "Choose how the next analyses prepare the picture and measure the roots");
  connect(a, &QAction::triggered, this, &KW_MdiFrm::analysisOptionsDialog);

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
  makeAction("actionAuto", " Auto", "Analyse the picture with the chosen options");
  onDoc(
      "actionAuto", [](KW_SciDoc& d) { d.AutoRun(); }, Run::Background);
  a = makeAction("actionColorItem", " &Color Item", "Paint every plant in a colour of its own");
  onDoc(
      "actionColorItem", [](KW_SciDoc& d) { d.ColorItems(); }, Run::Background);

  // Database.
  // Database: each command opens its own connections; it needs no picture.
  a = makeAction("actionInquire", " &Inquire", "Make database request", "Inquire");
  a->setIcon(MakeToolIcon(ToolIcon::Inquire));
  connect(a, &QAction::triggered, this,
          [this] { runDatabaseCommand([](FRONTEND::Frontend& frontend) { Inquire(frontend); }); });
  a = makeAction("actionAddData", " &Add data", "Add data experiment in database", "Add data");
  a->setIcon(MakeToolIcon(ToolIcon::AddData));
  connect(a, &QAction::triggered, this,
          [this] { runDatabaseCommand([](FRONTEND::Frontend& frontend) { Add_Data(frontend); }); });

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
  add(file,
      {"actionNew", "actionOpen", "actionClose", "actionSave", "actionSaveAs", "actionSaveAll", nullptr,
       "actionAnalyseFolder", nullptr, "actionPrintSetup", "actionPrintPreview", "actionPrint", nullptr});
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
  add(view, {"actionZoomIn", "actionZoomOut", "actionAutoZoom", "actionActualSize", nullptr});
  QMenu* bars = view->addMenu(" Toolbars");
  bars->setObjectName("menuToolbars");
  // Filled by createToolBars.

  QMenu* options = menuBar()->addMenu("&Options");
  options->setObjectName("menuOptions");
  add(options, {"actionResultFolder", "actionLastParameters", nullptr, "actionAnalysisOptions"});

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
  m_optionsPane = new QLabel(this);
  m_optionsPane->setObjectName("optionsPane");
  m_optionsPane->setFrameShape(QFrame::Panel);
  m_optionsPane->setFrameShadow(QFrame::Sunken);
  m_optionsPane->setText(AnalysisOptionsSummary(m_options));
  m_optionsPane->setToolTip("How the next analyses measure (Options > Analysis options...)");
  bar->insertPermanentWidget(0, m_optionsPane);
  bar->showMessage("Ready");
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
