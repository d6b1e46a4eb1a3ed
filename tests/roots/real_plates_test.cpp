// Real scans and photos of plates through the whole automatic measurement:
// nothing may crash or read outside a picture (the sanitizer build runs this
// too), and the scan of four maize seedlings gives its four primary roots.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "roots/sci_doc.h"
#include "support/test_env.h"

namespace {

class RealPlates : public testenv::HomeTest {};

TEST_F(RealPlates, EveryPictureIsMeasuredOrRefusedWithoutHarm) {
  MORVANE_REQUIRE_TESTDATA(plates, "plates");
  struct Case {
    const char* file;
    bool plate;  // a culture plate with its rim in view
  };
  const Case cases[] = {{"dc_maize-seedlings.bmp", true},
                        {"dc_maize-roots-grayscale.bmp", true},
                        {"rhizoscan_J10_Photo_011.bmp", true},
                        {"rhizoscan_arabido_synthetic.bmp", true},
                        {"dc_maize-root-cluster.bmp", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    KW_SciDoc doc;
    ASSERT_NE(doc.LoadBitmap((plates / c.file).string()), nullptr);
    const int loadedWidth = doc.width;
    const int measured = doc.MeasurePlate();
    if (!c.plate && measured == 0) continue;  // no frame: refused, nothing more to check
    ASSERT_EQ(measured, 1);
    // The crop keeps the inside of the plate.
    EXPECT_LT(doc.width, loadedWidth);
    EXPECT_GE(doc.nbr_root, 1);
    EXPECT_EQ(static_cast<std::size_t>(doc.nbr_root), doc.root.size());
    for (const RootTree& t : doc.root) {
      EXPECT_TRUE(std::isfinite(t.main_length) && std::isfinite(t.main_angle));
      // A path is never shorter than the straight line between its ends.
      EXPECT_GE(t.main_length + 1e-9, t.main_vector);
      EXPECT_LE(std::abs(t.main_angle), 180.0);
    }
  }
}

TEST_F(RealPlates, TheFourMaizeSeedlingsGiveFourPlantsLeftToRight) {
  MORVANE_REQUIRE_TESTDATA(plates, "plates");
  KW_SciDoc doc;
  ASSERT_NE(doc.LoadBitmap((plates / "dc_maize-seedlings.bmp").string()), nullptr);
  ASSERT_EQ(doc.MeasurePlate(), 1);
  ASSERT_EQ(doc.nbr_root, 4);
  // The scale comes from the plate's 12.5 cm height; the scan's own
  // resolution (169.3 dpi) agrees with it within a tenth.
  EXPECT_NEAR(doc.scale, 2.54 / 169.3, 0.1 * 2.54 / 169.3);
  for (std::size_t i = 1; i < doc.item.size(); ++i)
    EXPECT_LE(doc.item[i - 1].tab.front().col, doc.item[i].tab.front().col);
  for (const RootTree& t : doc.root) EXPECT_GT(t.main_length * doc.scale, 1.0);
}

}  // namespace
