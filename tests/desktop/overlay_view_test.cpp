#include "overlay_view_test.h"

#include <QAction>
#include <QTest>
#include <cstdlib>

#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "desktop/pic_view.h"
#include "roots/overlay_picture.h"
#include "roots/sci_doc.h"
#include "ui_test_util.h"

void OverlayViewTest::init() {
  uitest::FreshHome();
  script = std::make_unique<FRONTEND::ScriptedFrontend>();
}

void OverlayViewTest::findRootsShowsTheOverlayOfThePlants() {
  KW_MdiFrm w(*script);
  w.show();
  KW_MdiUsr* child = w.openFile(uitest::WritePlate("overlay.bmp"));
  QVERIFY(child != nullptr);
  KW_SciDoc& doc = child->document();
  doc.AutoPrepare();
  doc.Skeletonize();
  KW_SciVuw* view = child->view();
  QVERIFY(!view->overlayShown());
  w.action("actionFindRoots")->trigger();
  QCOMPARE(doc.nbr_item, 3);
  QVERIFY(view->overlayShown());
  const QImage overlay = view->overlay();
  QCOMPARE(overlay.size(), QSize(doc.width, doc.height));
  // Every plant in its own colour, as the batch program draws it, and a
  // document whose trees are still to be built.
  for (std::size_t i = 0; i < doc.item.size(); ++i)
    for (const ContourPoint& p : doc.item[i].tab)
      QCOMPARE(overlay.pixel(p.col, doc.height - 1 - p.row) & 0xFFFFFFU, OverlayPlantColour(i));
  QVERIFY(doc.root.empty());
  // The view draws it: the first plant's colour is on the screen.
  const QImage shot = view->grab().toImage();
  const QColor first(static_cast<QRgb>(0xFF000000U | OverlayPlantColour(0)));
  int near = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      if (std::abs(c.red() - first.red()) + std::abs(c.green() - first.green()) +
              std::abs(c.blue() - first.blue()) <
          60)
        ++near;
    }
  QVERIFY(near > 20);
  // The next command changes the picture: the overlay goes.
  w.action("actionColorItem")->trigger();
  QVERIFY(!view->overlayShown());
}

QTEST_MAIN(OverlayViewTest)
