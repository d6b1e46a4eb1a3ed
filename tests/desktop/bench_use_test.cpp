// The main window as a person at the bench uses it: opening pictures that
// cannot be read, saving over a scan, zoom and scrolling, the confirmation
// that frames the plant asked about, and the analysis options kept between runs.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "desktop/options_dialog.h"
#include "desktop/pic_view.h"
#include "image/step_marks.h"
#include "roots/analysis_dialog_models.h"
#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "ui_test_util.h"

namespace {

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Clicks the button of this name in the next modal dialog.
void clickInNextModal(const char* name) {
  uitest::OnNextModal([name](QWidget* w) {
    if (auto* b = w->findChild<QPushButton*>(name)) b->click();
  });
}

}  // namespace

class BenchUseTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    uitest::FreshHome();
    script = std::make_unique<FRONTEND::ScriptedFrontend>();
  }

  void openSaysWhyAndKeepsRecentFilesClean() {
    KW_MdiFrm w(*script);
    const QString missing = QDir(qEnvironmentVariable("MORVANE_HOME")).filePath("missing.png");
    QVERIFY(w.openFile(missing) == nullptr);
    QCOMPARE(script->messages().size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(script->messages().front()),
             QString("Cannot open %1: no such file.").arg(missing));
    QVERIFY(w.recentFiles().isEmpty());
    const QString good = uitest::WriteBitmap("good.bmp", 8, 6, [](int, int) { return 0x808080U; });
    QVERIFY(w.openFile(good) != nullptr);
    QCOMPARE(w.recentFiles(), QStringList{good});
  }

  void saveNeverReplacesTheScanUnasked() {
    KW_MdiFrm w(*script);
    w.show();
    const QString scan =
        uitest::WriteBitmap("scan.bmp", 8, 6, [](int c, int) { return c < 4 ? 0U : 0xFFFFFFU; });
    KW_MdiUsr* child = w.openFile(scan);
    QVERIFY(child != nullptr);
    // Unchanged, the picture is saved in place without a question.
    QVERIFY(QFile::remove(scan));
    w.action("actionSave")->trigger();
    const QByteArray original = contents(scan);
    QVERIFY(!original.isEmpty());
    // A step changed it: Cancel writes nothing, Replace the scan writes it.
    child->document().At(0, 0) = 0xFFFFFFU;
    child->document().marks.check(StepMark::MakeBlackWhite);
    clickInNextModal("cancel");
    w.action("actionSave")->trigger();
    QCOMPARE(contents(scan), original);
    clickInNextModal("replace");
    w.action("actionSave")->trigger();
    QVERIFY(contents(scan) != original);
  }

  void zoomLevelsScrollBarsAndSharpPixels() {
    KW_MdiFrm w(*script);
    w.show();
    // Black, one white column at x = 10.
    const QString path =
        uitest::WriteBitmap("line.bmp", 60, 40, [](int c, int) { return c == 10 ? 0xFFFFFFU : 0U; });
    KW_MdiUsr* child = w.openFile(path);
    QVERIFY(child != nullptr);
    KW_SciVuw* view = child->view();
    QVERIFY(view->fitsWindow());
    w.action("actionActualSize")->trigger();
    QCOMPARE(view->zoom(), 1.0);
    w.action("actionZoomIn")->trigger();
    QCOMPARE(view->zoom(), 2.0);
    w.action("actionZoomOut")->trigger();
    w.action("actionZoomOut")->trigger();
    QCOMPARE(view->zoom(), 0.5);
    view->setZoom(8.0, QPoint(0, 0));
    QCOMPARE(view->scrollPosition(), QPoint(0, 0));
    view->resize(200, 150);
    auto* hbar = view->findChild<QScrollBar*>("horizontalScrollBar");
    QVERIFY(hbar->isVisible());
    QCOMPARE(hbar->maximum(), 60 * 8 - view->pictureArea().width());
    // Every picture pixel is an 8 x 8 square of its own colour.
    const QImage shot = view->grab().toImage();
    for (int x = 78; x <= 89; ++x)
      QCOMPARE(QColor(shot.pixel(x, 20)).lightness(), x >= 80 && x < 88 ? 255 : 0);
    // Dragging with the middle button pans.
    QTest::mousePress(view, Qt::MiddleButton, {}, QPoint(100, 50));
    QTest::mouseMove(view, QPoint(60, 50));
    QTest::mouseRelease(view, Qt::MiddleButton, {}, QPoint(60, 50));
    QCOMPARE(view->scrollPosition(), QPoint(40, 0));
    // A second window has a zoom of its own; the first keeps its.
    const QString other = uitest::WriteBitmap("other.bmp", 60, 40, [](int, int) { return 0x404040U; });
    KW_MdiUsr* second = w.openFile(other);
    QVERIFY(second->view()->fitsWindow());
    QCOMPARE(view->zoom(), 8.0);
    w.action("actionAutoZoom")->trigger();
    QVERIFY(second->view()->fitsWindow());
    view->fitToWindow();
    QVERIFY(view->fitsWindow());
    QVERIFY(!hbar->isVisible());
  }

  void confirmationFramesThePlantAndStops() {
    KW_MdiFrm w(*script);
    w.show();
    KW_MdiUsr* child = w.openFile(uitest::WritePlate("plate.bmp"));
    QVERIFY(child != nullptr);
    QStringList asked;
    QList<QRect> framed;
    const auto record = [&](MyBoxIsARoot& box) {
      asked << QString("%1/%2").arg(box.index).arg(box.count);
      framed << child->view()->highlight();
    };
    script->isARootScripts.push_back([&](MyBoxIsARoot& box) {
      record(box);
      return FRONTEND::Answer::Yes;
    });
    script->isARootScripts.push_back([&](MyBoxIsARoot& box) {
      record(box);
      box.rest = MyBoxIsARoot::Rest::Stop;
      return FRONTEND::Answer::Cancel;
    });
    w.action("actionAuto")->trigger();
    QCOMPARE(asked, QStringList({"1/3", "2/3"}));
    // Each plant framed in turn, inside the picture; the frame goes with the question.
    QVERIFY(!framed[0].isEmpty() && framed[0] != framed[1]);
    const QRect picture(0, 0, child->document().width, child->document().height);
    QVERIFY(picture.contains(framed[1]));
    QCoreApplication::processEvents();
    QVERIFY(child->view()->highlight().isEmpty());
    // The three plants stay: one confirmed, the rest as found.
    QCOMPARE(child->document().nbr_item, 3);
  }

  void optionsAreKeptShownAndApplied() {
    AnalysisSettings chosen;
    chosen.lengths = LengthMode::True;
    chosen.minLateralCm = 0.2;
    chosen.background = Background::Auto;
    chosen.pipeline = Pipeline::Adaptive;
    chosen.plate = PlateMode::None;
    chosen.pixelsPerCm = 59.0;
    {
      KW_MdiFrm w(*script);
      QCOMPARE(w.analysisOptions().pipeline, Pipeline::Fixed);
      w.setAnalysisOptions(chosen);
    }
    KW_MdiFrm w(*script);
    const AnalysisSettings kept = w.analysisOptions();
    QCOMPARE(kept.lengths, LengthMode::True);
    QCOMPARE(kept.minLateralCm, 0.2);
    QCOMPARE(kept.background, Background::Auto);
    QCOMPARE(kept.pipeline, Pipeline::Adaptive);
    QCOMPARE(kept.plate, PlateMode::None);
    QCOMPARE(kept.pixelsPerCm, 59.0);
    QCOMPARE(w.statusBar()->findChild<QLabel*>("optionsPane")->text(),
             QString("adaptive (plate none, 59 px/cm), true lengths, laterals >= 0.2 cm, auto"));
    KW_MdiUsr* child = w.openFile(uitest::WriteBitmap("p.bmp", 8, 6, [](int, int) { return 0U; }));
    QCOMPARE(child->document().settings.pipeline, Pipeline::Adaptive);
    QCOMPARE(child->document().settings.minLateralCm, 0.2);
    // The dialog shows the choices and gives back what it shows.
    OptionsDialog dialog(kept);
    QCOMPARE(dialog.options().plate, PlateMode::None);
    QCOMPARE(dialog.options().lengths, LengthMode::True);
  }

 private:
  std::unique_ptr<FRONTEND::ScriptedFrontend> script;
};

QTEST_MAIN(BenchUseTest)
#include "bench_use_test.moc"
