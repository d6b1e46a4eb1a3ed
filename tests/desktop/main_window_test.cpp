// The main window: menus, toolbars, status panes, recent files, opening
// pictures, the steps with their check marks (run as the user runs them),
// help and the start-up sequence.
#include "desktop/main_window.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>

#include "desktop/application.h"
#include "desktop/help_window.h"
#include "desktop/mdi_child.h"
#include "desktop/pic_view.h"
#include "image/step_dialog_models.h"
#include "morvane_version.h"
#include "roots/analysis_dialog_models.h"
#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "ui_test_util.h"

namespace {

QStringList texts(const QList<QAction*>& actions) {
  QStringList list;
  for (QAction* a : actions) {
    if (!a->isSeparator()) list << a->text();
  }
  return list;
}

QMenu* menu(KW_MdiFrm& w, const char* name) { return w.menuBar()->findChild<QMenu*>(name); }

// The nine step marks as the menus show them, in menu order.
QString checkedSteps(KW_MdiFrm& w) {
  QStringList on;
  for (const char* n :
       {"actionMakeBW", "actionRemoveBox", "actionRemoveNoise", "actionDilate", "actionSkeletonize",
        "actionRetouch", "actionFindRoots", "actionConfirmRoots", "actionSaveExperiment"}) {
    if (w.action(n)->isChecked()) on << QString(n).mid(6);
  }
  return on.join(',');
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    uitest::FreshHome();
    script = std::make_unique<FRONTEND::ScriptedFrontend>();
  }

  void menusAndAccelerators() {
    KW_MdiFrm w(*script);
    QStringList titles;
    for (QAction* a : w.menuBar()->actions()) titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&Edit", "&View", "&Options", "&Prepare", "&Detect", "&Database",
                                  "&Window", "&Help"}));
    QCOMPARE(texts(menu(w, "menuPrepare")->actions()),
             QStringList(
                 {" &Make B\\W", " &Remove box", " Remove noise", " D&ilate", " Re-use previous", " Auto"}));
    QCOMPARE(texts(menu(w, "menuDetect")->actions()),
             QStringList({" &Skeletonize", " &Re-touch", " Find roots", " Confirm roots", " &Color Item",
                          " Save experiment"}));
    QCOMPARE(texts(menu(w, "menuDatabase")->actions()), QStringList({" &Inquire", " &Add data"}));
    QCOMPARE(w.action("actionOpen")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(w.action("actionAbout")->shortcut(), QKeySequence("Ctrl+A"));
    QCOMPARE(w.action("actionHelpContents")->shortcut(), QKeySequence(Qt::Key_F1));
    // Shown but not bound.
    QVERIFY(w.action("actionPrint")->shortcut().isEmpty());
    QVERIFY(w.action("actionPrint")->text().endsWith("\tCtrl+P"));
    for (const char* n : {"actionNew", "actionUndo", "actionPaste", "actionZoomIn", "actionZoomOut",
                          "actionAutoZoom", "actionMakeBW", "actionClose"}) {
      QVERIFY2(!w.action(n)->isEnabled(), n);
    }
    QCOMPARE(w.action("actionMakeBW")->statusTip(), QString("Convert image in Black and White"));
    QCOMPARE(w.action("actionMakeBW")->toolTip(), QString("Black && White"));
    QCOMPARE(w.action("actionAddData")->statusTip(), QString("Add data experiment in database"));
  }

  void toolbarsAndStatusPanes() {
    KW_MdiFrm w(*script);
    w.show();
    const QStringList expected = {"Standard Tools", "Morvane Tools", "Database Tools"};
    QStringList titles;
    for (QToolBar* tb : w.findChildren<QToolBar*>()) {
      titles << tb->windowTitle();
      for (QAction* a : tb->actions()) {
        if (auto* b = qobject_cast<QToolButton*>(tb->widgetForAction(a))) QCOMPARE(b->size(), QSize(30, 30));
      }
    }
    QCOMPARE(titles, expected);
    auto* morvane = w.findChild<QToolBar*>("morvaneTools");
    QCOMPARE(texts(morvane->actions()).size(), 9);
    QAction* toggle = w.findChild<QAction*>("toggle_morvaneTools");
    QCOMPARE(toggle->text(), QString(" Morvane Toolbar"));
    QVERIFY(toggle->isChecked());
    toggle->trigger();
    QVERIFY(!morvane->isVisible());
    QVERIFY(!toggle->isChecked());
    QList<int> widths;
    for (int i = 1; i <= 4; ++i)
      widths << w.statusBar()->findChild<QLabel*>(QString("pane%1").arg(i))->width();
    QCOMPARE(widths, QList<int>({90, 90, 90, 256}));
    QCOMPARE(w.statusBar()->findChild<QLabel*>("pane4")->text(), QString("-N/A-"));
  }

  void openingPicturesAndRecentFiles() {
    KW_MdiFrm w(*script);
    w.show();
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
      paths << uitest::WriteBitmap(QString("pic%1.bmp").arg(i), 60 + i, 40,
                                   [](int c, int r) { return static_cast<std::uint32_t>((c * 4) << 8 | r); });
    }
    KW_MdiUsr* first = w.openFile(paths[0]);
    QVERIFY(first != nullptr);
    QCOMPARE(first->windowTitle(), QString("pic0.bmp"));
    QCOMPARE(first->document().width, 60);
    QVERIFY(first->view()->fitted());
    QVERIFY(w.action("actionMakeBW")->isEnabled());
    QCOMPARE(w.statusBar()->findChild<QLabel*>("pane4")->text(), QString("60 x 40 pixels"));
    // A maximised window makes the next one maximised.
    first->showMaximized();
    for (int i = 1; i < 5; ++i) QVERIFY(w.openFile(paths[i]) != nullptr);
    QVERIFY(w.activeChild()->isMaximized());
    QCOMPARE(w.children().size(), 5);
    QCOMPARE(w.recentFiles(), QStringList({paths[4], paths[3], paths[2], paths[1]}));
    QVERIFY(w.findChild<QAction*>("actionRecent1")->text().endsWith("pic4.bmp"));
    // Opening a picture already open shows its window.
    QCOMPARE(w.openFile(paths[2]), w.findChildWindow("PIC2.BMP"));
    QCOMPARE(w.children().size(), 5);
  }

  void unreadableFileSaysSoAndOpensNothing() {
    KW_MdiFrm w(*script);
    w.show();
    const QString bad = QDir(qEnvironmentVariable("MORVANE_HOME")).filePath("bad.bmp");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("BM not a bitmap");
    f.close();
    QVERIFY(w.openFile(bad) == nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w.children().isEmpty());
    QCOMPARE(script->messages().size(), size_t(1));
    QVERIFY(QString::fromStdString(script->messages().front()).contains("bad.bmp"));
  }

  void stepsSetTheirCheckMarks() {
    KW_MdiFrm w(*script);
    w.show();
    KW_MdiUsr* child = w.openFile(uitest::WritePlate("plate.bmp"));
    QVERIFY(child != nullptr);
    KW_SciDoc& doc = child->document();
    const int fullWidth = doc.width;
    script->thresholdScripts.push_back([](ThresholdModel& m) {
      m.setText("90");
      return true;
    });
    w.action("actionMakeBW")->trigger();
    QCOMPARE(checkedSteps(w), QString("MakeBW"));
    QCOMPARE(doc.threshold, 90);
    w.action("actionRemoveBox")->trigger();
    QCOMPARE(checkedSteps(w), QString("RemoveBox"));
    QVERIFY(doc.width < fullWidth);
    QVERIFY(!w.busy());
    script->erosionMethodScripts.push_back([](ErosionMethodModel& m) {
      m.select("Original");
      return true;
    });
    w.action("actionRemoveNoise")->trigger();
    QCOMPARE(checkedSteps(w), QString("RemoveNoise"));
    QCOMPARE(doc.erosionMethod, std::string("Original"));
    w.action("actionDilate")->trigger();
    QCOMPARE(checkedSteps(w), QString("Dilate"));
    w.action("actionSkeletonize")->trigger();
    QCOMPARE(checkedSteps(w), QString("Skeletonize"));
    const int refreshes = doc.refreshCount();
    w.action("actionFindRoots")->trigger();
    QCOMPARE(checkedSteps(w), QString("FindRoots"));
    QCOMPARE(doc.nbr_item, 3);
    QVERIFY(doc.refreshCount() > refreshes);
    // The window shows what the background step left: coloured plants.
    const QImage shot = child->view()->grab().toImage();
    int coloured = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) {
        const QColor c = shot.pixelColor(x, y);
        if (c.saturation() > 100) ++coloured;
      }
    QVERIFY(coloured > 50);
    w.action("actionRetouch")->trigger();
    QCOMPARE(checkedSteps(w), QString("Retouch"));
    QVERIFY(!w.action("actionConfirmRoots")->isChecked());
  }

  void backgroundStepsTalkThroughTheWindow() {
    KW_MdiFrm w(*script);
    w.show();
    // A plain grey picture has no plate rim to find.
    KW_MdiUsr* child =
        w.openFile(uitest::WriteBitmap("grey.bmp", 300, 300, [](int, int) { return 0x202020U; }));
    QVERIFY(child != nullptr);
    w.action("actionRemoveBox")->trigger();
    QCOMPARE(script->messages().size(), size_t(1));
    QCOMPARE(script->messages().front(), std::string("Impossible to find the box!"));
    QVERIFY(!w.busy());
    QVERIFY(!child->busy());
    QVERIFY(w.action("actionDilate")->isEnabled());
  }

  void autoRunWritesTheResultFile() {
    const QString home = qEnvironmentVariable("MORVANE_HOME");
    QDir(home).mkpath("out");
    KW_MdiFrm w(*script);
    w.show();
    KW_MdiUsr* child = w.openFile(uitest::WritePlate("auto_plate.bmp"));
    QVERIFY(child != nullptr);
    // The result folder is asked for once; every plant is a root; the image
    // information is filled in with a resolution of 150 dpi.
    script->folders.push_back({1, QDir(home).filePath("out").toStdString()});
    script->infoGeneralScripts.push_back([this](MyBoxInfoGeneral& box) {
      box.open(*script);
      box.user = "tester";
      box.resolution = "150";
      box.ok();
      return true;
    });
    w.action("actionAuto")->trigger();
    QVERIFY(!w.busy());
    QCOMPARE(child->document().nbr_item, 3);
    const QString result = QDir(home).filePath("out/Results/auto_plate.txt");
    QVERIFY2(QFileInfo::exists(result), qPrintable(result));
    QFile file(result);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("User name: tester"));
    QCOMPARE(QString::fromStdString(script->messages().back()), QString("Experiment saved."));
    QVERIFY(w.action("actionSaveExperiment")->isChecked());
  }

  void confirmRootsAnswersFromTheWindow() {
    KW_MdiFrm w(*script);
    w.show();
    KW_MdiUsr* child = w.openFile(uitest::WritePlate("confirm.bmp"));
    QVERIFY(child != nullptr);
    script->isARootAnswers = {FRONTEND::Answer::Yes, FRONTEND::Answer::No, FRONTEND::Answer::Yes};
    child->document().AutoPrepare();
    child->document().Skeletonize();
    w.action("actionFindRoots")->trigger();
    QCOMPARE(child->document().nbr_item, 3);
    w.action("actionConfirmRoots")->trigger();
    QCOMPARE(child->document().nbr_item, 2);
    QCOMPARE(checkedSteps(w), QString("FindRoots,ConfirmRoots"));
  }

  void helpAndAbout() {
    KW_MdiFrm w(*script);
    w.show();
    QVERIFY(!ManualFolder().isEmpty());
    w.action("actionHelpContents")->trigger();
    HelpWindow* help = w.helpWindow();
    QVERIFY(help != nullptr && help->isVisible());
    QVERIFY(help->browser()->toPlainText().contains("Make B\\W"));
    w.action("actionHelpSearch")->trigger();
    auto* search = help->findChild<QLineEdit*>("search");
    QTest::keyClicks(search, "Add data");
    QVERIFY(help->findNext());
    w.action("actionUserManual")->trigger();  // no PDF here: the HTML manual
    QVERIFY(help->isVisible());
    QString about;
    uitest::OnNextModal([&about](QWidget* box) {
      about = box->findChild<QLabel*>("aboutText")->text();
      QTest::mouseClick(box->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    w.action("actionAbout")->trigger();
    QVERIFY(about.contains(MORVANE_VERSION));
    QVERIFY(about.contains("Release date"));
  }

  void startUpOpensTheCommandLineFile() {
    const QString path =
        uitest::WriteBitmap("start.bmp", 80, 60, [](int c, int) { return c > 40 ? 0xFFFFFFU : 0U; });
    const QString log = QDir(qEnvironmentVariable("MORVANE_HOME")).filePath("Log/log_sql.txt");
    QDir().mkpath(QFileInfo(log).absolutePath());
    QFile old(log);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old lines\n");
    old.close();
    CMorvaneApp app;
    QVERIFY(app.InitInstance({path}));
    KW_MdiFrm* frame = app.mainFrame();
    QCOMPARE(frame->windowTitle(), QString("Morvane"));
    QVERIFY(frame->isVisible());
    QVERIFY(frame->activeChild() != nullptr);
    QCOMPARE(frame->activeChild()->windowTitle(), QString("start.bmp"));
    QCOMPARE(QFileInfo(log).size(), 0);
  }

 private:
  std::unique_ptr<FRONTEND::ScriptedFrontend> script;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
