// The main root of a crowded root system: loops of the skeleton opened where
// the ways round them from the top meet, each root system walked from the
// top of its main root, whatever lateral reaches higher, and the whole
// adaptive pipeline on drawn pictures of both faults and of a main root
// whose top is crowded with laterals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "roots/detail/loop_opening.h"
#include "roots/detail/plant_starts.h"
#include "roots_test_util.h"

namespace {

constexpr int kWidth = 80, kHeight = 100;

// Skeleton lines in a picture of kWidth x kHeight.
struct Skeleton : rootstest::Skeleton {
  Skeleton() : rootstest::Skeleton(kWidth, kHeight) {}
};

TEST(OpenSkeletonLoops, ALateralTouchingItsParentAgainIsOpenedOnTheLateral) {
  Skeleton s;
  s.line(30, 90, 30, 10);  // the main root, its top at row 90
  // A lateral leaving it at row 70 and touching it again at row 38.
  s.line(31, 69, 38, 62);
  s.line(38, 61, 38, 46);
  s.line(37, 45, 31, 39);
  const Skeleton before = s;
  OpenSkeletonLoops(s.pixels, kWidth, kHeight);
  EXPECT_EQ(s.count(), before.count() - 1);
  EXPECT_EQ(s.pieces(), 1);
  for (int r = 10; r <= 90; ++r) EXPECT_TRUE(s.white(30, r)) << "main root, row " << r;
  // Where the ways round from the top meet: 20 pixels down to the
  // lateral's start and 36 along it, or 52 down the main root and back up
  // the lateral's last diagonal (where column = row - 8).
  for (int r = 0; r < kHeight; ++r)
    for (int c = 0; c < kWidth; ++c)
      if (before.white(c, r) && !s.white(c, r)) {
        EXPECT_EQ(c, r - 8);
        EXPECT_NEAR(c, 33.5, 1.5);
      }
}

TEST(OpenSkeletonLoops, ATreeAndTheCornersOfItsLinesStayAsTheyAre) {
  Skeleton s;
  s.line(30, 90, 30, 10);
  s.line(31, 69, 45, 55);
  s.line(46, 55, 55, 55);  // a corner where the diagonal meets the row
  s.line(10, 90, 10, 60);  // a second piece
  const std::vector<std::uint32_t> before = s.pixels;
  OpenSkeletonLoops(s.pixels, kWidth, kHeight);
  EXPECT_EQ(s.pixels, before);
}

TEST(MainRootStarts, ALateralArchingAboveTheSeedlingDoesNotStartThePlant) {
  Skeleton s;
  s.line(30, 80, 30, 10);  // the main root, its top at row 80
  // A lateral leaving it at row 75, running aside and arching up above it.
  s.line(31, 74, 50, 74);
  s.line(51, 75, 56, 80);
  s.line(56, 81, 56, 86);
  const std::vector<ContourPoint> starts = MainRootStarts(s.pixels, kWidth, kHeight);
  ASSERT_EQ(starts.size(), 1U);
  EXPECT_EQ(starts[0].col, 30);
  EXPECT_EQ(starts[0].row, 80);
}

TEST(MainRootStarts, EachPieceInScanOrderFromTheTopOfItsLine) {
  Skeleton s;
  s.line(10, 60, 10, 20);
  s.line(40, 90, 40, 30);
  // A short spur near the top of the second does not start it.
  s.line(41, 85, 44, 85);
  const std::vector<ContourPoint> starts = MainRootStarts(s.pixels, kWidth, kHeight);
  ASSERT_EQ(starts.size(), 2U);
  EXPECT_EQ(starts[0].col, 40);
  EXPECT_EQ(starts[0].row, 90);
  EXPECT_EQ(starts[1].col, 10);
  EXPECT_EQ(starts[1].row, 60);
  EXPECT_TRUE(MainRootStarts(std::vector<std::uint32_t>(3, 0U), kWidth, kHeight).empty());
}

// A photograph drawn: light roots 3 pixels wide on a dark background, 40
// pixels a centimetre, measured by the adaptive pipeline without a plate.
class DrawnPhotograph : public rootstest::AdaptiveDocTest {
 protected:
  void SetUp() override {
    AdaptiveDocTest::SetUp();
    doc.settings.plate = PlateMode::None;
    doc.settings.pixelsPerCm = 40.0;
  }
  // The picture's size sets the widest root the segmentation expects (an
  // 80th of its smaller side).
  void picture(int width, int height) {
    rootstest::MakeBlack(doc, width, height);
    for (std::uint32_t& px : doc.pixels) px = 0x202830U;
  }
  // A root from (x0, y0) to (x1, y1), y from the top, 3 pixels wide.
  void root(int x0, int y0, int x1, int y1) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int k = 0; k <= steps; ++k) {
      const int x = x0 + (x1 - x0) * k / std::max(steps, 1), y = y0 + (y1 - y0) * k / std::max(steps, 1);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) doc.At(x + dx, doc.height - 1 - (y + dy)) = 0xE6E6E6U;
    }
  }
  // The main root of the plant reaching lowest, in centimetres.
  double mainRootCm() {
    EXPECT_EQ(doc.MeasurePlateAdaptive(problem), KW_SciDoc::kPlateMeasured) << problem;
    double longest = 0.0;
    for (const RootTree& tree : doc.root) longest = std::max(longest, tree.main_length);
    return longest / 40.0;
  }
};

TEST_F(DrawnPhotograph, AMainRootIsMeasuredFromItsTopWhereALateralArchesHigherAndTouchesItAgain) {
  picture(640, 800);
  root(320, 160, 320, 720);  // the main root: 560 pixels, 14 cm
  // A lateral leaving it at y = 260, running aside and arching up above its
  // top, as the laterals below a seedling on paper do.
  root(320, 260, 220, 280);
  root(220, 280, 190, 100);
  // Another leaving it at y = 400 and touching it again at y = 560.
  root(320, 400, 400, 440);
  root(400, 440, 400, 520);
  root(400, 520, 324, 560);
  EXPECT_NEAR(mainRootCm(), 14.0, 0.5);
}

TEST_F(DrawnPhotograph, AMainRootIsMeasuredFromItsTopThroughACrowdOfLaterals) {
  // Laterals leave the top of the main root every 12 rows on both sides: a
  // crowd over more than a third of which the lines raise the mean far above
  // the ground around, though the ground shows between them.
  picture(640, 800);
  root(320, 100, 320, 700);  // the main root: 600 pixels, 15 cm
  for (int y = 104; y <= 296; y += 12) {
    root(320, y, 210, y + 66);
    root(320, y, 430, y + 66);
  }
  EXPECT_NEAR(mainRootCm(), 15.0, 0.5);
}

}  // namespace
