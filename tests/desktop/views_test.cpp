// The picture views: fitting the window at the first refresh, drawing the
// picture shrunk but never enlarged on a light-grey ground, and the rubber
// band of the analysis view.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "desktop/pic_view.h"
#include "image/pic_doc.h"
#include "image/view_fit.h"
#include "ui_test_util.h"

class ViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { uitest::FreshHome(); }

  void fitRules() {
    QCOMPARE(FitViewSize(500, 500, 2000, 1000).height, 250);
    QCOMPARE(FitViewSize(500, 500, 2000, 1000).width, 500);
    QCOMPARE(FitViewSize(400, 300, 100, 100).width, 300);
    QCOMPARE(DrawSize(300, 300, 100, 100).width, 100);
    QCOMPARE(DrawSize(500, 250, 2000, 1000).height, 250);
    // A document without a picture keeps the window as it is.
    QCOMPARE(FitViewSize(400, 300, 0, 0).width, 400);
  }

  void largePictureShrinksTheFrame() {
    KW_PicDoc doc;
    doc.width = 2000;
    doc.height = 1000;
    doc.pixels.assign(std::size_t{2000} * 1000U, 0x00FF00U);
    QMdiArea area;
    area.resize(1200, 1000);
    auto* view = new KW_SciVuw(doc);
    QMdiSubWindow* frame = area.addSubWindow(view);
    area.show();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    frame->resize(700, 700);
    frame->resize(QSize(500, 500) + frame->size() - view->size());
    QCOMPARE(view->size(), QSize(500, 500));
    const QSize outer = frame->size();
    view->Refresh();
    QCOMPARE(view->size(), QSize(500, 250));
    QCOMPARE(frame->size(), outer - QSize(0, 250));
    QCOMPARE(view->lastDrawSize().width, 500);
    QCOMPARE(view->lastDrawSize().height, 250);
    // Fitted once: a second refresh keeps the size the user gives it.
    frame->resize(frame->size() + QSize(100, 100));
    const QSize chosen = view->size();
    view->Refresh();
    QCOMPARE(view->size(), chosen);
  }

  void smallPictureIsNotEnlarged() {
    KW_PicDoc doc;
    doc.width = 100;
    doc.height = 100;
    doc.pixels.assign(std::size_t{100} * 100U, 0x0000FFU);
    for (int c = 0; c < 100; ++c) doc.At(c, 99) = 0xFF0000U;  // the top row is red
    KW_PicVuw view(doc);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.Refresh();
    QCOMPARE(view.size(), QSize(300, 300));
    QCOMPARE(view.lastDrawSize().width, 100);
    QCOMPARE(view.lastDrawSize().height, 100);
    const QImage shot = view.grab().toImage();
    QCOMPARE(shot.pixelColor(50, 0), QColor(255, 0, 0));
    QCOMPARE(shot.pixelColor(50, 50), QColor(0, 0, 255));
    QCOMPARE(shot.pixelColor(200, 50), QColor(241, 241, 241));
    QCOMPARE(shot.pixelColor(50, 200), QColor(241, 241, 241));
    // Each draw and size change went to the zoom log.
    QFile log(qEnvironmentVariable("MORVANE_HOME") + "/Log/log_zoom.txt");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY(text.contains("Autozoom Funct\n\tcli hgt 300\n\tcli wdth 400\n\tsrc hgt 100\n\tsrc wdth 100\n"));
    QVERIFY(text.contains("OnDraw Funct ZI function\n"));
    QVERIFY(text.contains("\tdest rect hgt ZI 100\n"));
  }

  void emptyDocumentDrawsGround() {
    KW_PicDoc doc;
    KW_PicVuw view(doc);
    view.resize(200, 100);
    view.show();
    view.Refresh();
    const QImage shot = view.grab().toImage();
    QCOMPARE(shot.pixelColor(10, 10), QColor(241, 241, 241));
  }

  void rubberBand() {
    KW_PicDoc doc;
    doc.width = 50;
    doc.height = 50;
    doc.pixels.assign(2500U, 0U);
    KW_SciVuw view(doc);
    view.resize(200, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.Refresh();
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(view.bandState(), KW_SciVuw::Band::Dragging);
    QTest::mouseMove(&view, QPoint(80, 60));
    QVERIFY(view.bandDrawn());
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(90, 70));
    QCOMPARE(view.bandState(), KW_SciVuw::Band::Shown);
    QCOMPARE(view.corner(), QPoint(90, 70));
    // The outline stays on the screen: black picture, inverted outline.
    const QImage shot = view.grab().toImage();
    QCOMPARE(shot.pixelColor(30, 10), QColor(255, 255, 255));
    QCOMPARE(shot.pixelColor(30, 30), QColor(0, 0, 0));
    // On the light-grey ground the inverted outline is nearly black.
    bool bottomEdge = false;
    for (int y = 69; y <= 71; ++y) bottomEdge = bottomEdge || shot.pixelColor(80, y) == QColor(14, 14, 14);
    QVERIFY(bottomEdge);
    // The next press removes it.
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!view.bandDrawn());
    QTest::mouseMove(&view, QPoint(22, 21));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(22, 21));
    QCOMPARE(view.bandState(), KW_SciVuw::Band::None);
    QCOMPARE(view.anchor(), QPoint(22, 21));
  }
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
