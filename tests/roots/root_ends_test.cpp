// The true-length mode's root ends: a lateral measured from its parent's
// centre line, a free end to the centre of the root's rounded tip, on
// drawn roots of known geometry and on generated plates.
#include "roots/root_ends.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "roots/detail/lateral_walk.h"
#include "roots/root_measures.h"
#include "roots_test_util.h"
#include "synth/synth_plate.h"

namespace {

struct Band {
  double c0, r0, c1, r1, radius;
};

// White where a pixel's centre lies within radius of a band's centre line:
// roots of even width with rounded ends, on black.
void DrawBands(KW_SciDoc& doc, const std::vector<Band>& bands) {
  for (int r = 0; r < doc.height; ++r)
    for (int c = 0; c < doc.width; ++c)
      for (const Band& b : bands) {
        const double vc = b.c1 - b.c0, vr = b.r1 - b.r0;
        const double t = std::clamp(((c - b.c0) * vc + (r - b.r0) * vr) / (vc * vc + vr * vr), 0.0, 1.0);
        if (std::hypot(c - b.c0 - t * vc, r - b.r0 - t * vr) <= b.radius) doc.At(c, r) = kWhitePixel;
      }
}

// The first-order laterals' lengths of tree, from the top down.
std::vector<double> LateralLengths(const RootTree& tree) {
  std::vector<double> lengths;
  WalkLaterals(*tree.first_segment, tree.path_longest_total, 0, {1, 1}, 0,
               [&](const KW_Segment& x, const std::vector<std::int32_t>&, int, const KW_Segment&) {
                 lengths.push_back(x.length_longest);
                 return std::optional<int>{};
               });
  return lengths;
}

class RootEnds : public testenv::HomeTest {
 protected:
  // The bands drawn on a black picture of width x 240 and measured in the
  // true-length mode as one plant, thinned with the shapes kept or, without
  // keepShapes, as the pixel mode thins (which keeps none).
  static void MeasureBands(KW_SciDoc& doc, const std::vector<Band>& bands, int width, bool keepShapes) {
    rootstest::MakeBlack(doc, width, 240);
    doc.setColourSeed(3U);
    DrawBands(doc, bands);
    doc.settings.lengths = keepShapes ? LengthMode::True : LengthMode::Pixel;
    doc.Skeletonize();
    EXPECT_EQ(doc.thinnedShapes.empty(), !keepShapes);
    doc.settings.lengths = LengthMode::True;
    ASSERT_EQ(doc.FindRoots(), 1);
    ASSERT_EQ(doc.nbr_item, 1);
    ASSERT_EQ(doc.CreateTrees(), 1);
    ASSERT_EQ(doc.MeasureTrees(), 1);
  }
};

}  // namespace

TEST_F(RootEnds, DrawnLateralsMeasureFromTheirParentsCentreLine) {
  // A main root 9 pixels wide down column 60; a lateral 7 wide leaving it
  // to the right along row 150, one leaving it to the left at 45 degrees
  // from row 100. Thinning pulls the junctions towards the laterals, up to
  // 4 pixels off the main root's centre line.
  const std::vector<Band> bands{{60, 225, 60, 30, 4.0}, {60, 150, 140, 150, 3.0}, {60, 100, 15, 55, 3.0}};
  // Where each lateral leaves the main root's centre line.
  const std::vector<ContourPoint> bases{{60, 150, 0}, {60, 100, 0}};
  KW_SciDoc doc;
  MeasureBands(doc, bands, 200, true);
  KW_SciDoc bare;
  MeasureBands(bare, bands, 200, false);
  ASSERT_FALSE(HasFatalFailure());
  const std::vector<double> laterals = LateralLengths(doc.root[0]);
  const std::vector<double> short_ = LateralLengths(bare.root[0]);
  ASSERT_EQ(laterals.size(), 2U);
  ASSERT_EQ(short_.size(), 2U);
  // Each lateral reaches from the centre line to its skeleton's end (on
  // these crisp shapes thinning runs out to the tip's edge, and nothing is
  // added there); without the shapes it starts at the pulled junction.
  std::size_t k = 0;
  WalkLaterals(*doc.root[0].first_segment, doc.root[0].path_longest_total, 0, {1, 1}, 0,
               [&](const KW_Segment& x, const std::vector<std::int32_t>&, int, const KW_Segment&) {
                 const ContourPoint end = PathEnd(x, x.path_longest).point.back();
                 const double expected = std::hypot(end.col - bases[k].col, end.row - bases[k].row);
                 EXPECT_NEAR(laterals[k], expected, 1.6) << "lateral " << k;
                 EXPECT_LT(short_[k], expected - 1.5) << "lateral " << k;
                 ++k;
                 return std::optional<int>{};
               });
}

TEST_F(RootEnds, MainRootKeepsItsWidthPastAThinnerLateralThatReachesFarther) {
  // A main root 9 pixels wide down column 60 that bends 30 degrees to the
  // left at row 100 and ends 28 pixels on; from the same place a lateral 5
  // wide leaves at 45 degrees to the right and reaches four times as far.
  // By direction and reach alone the lateral carries the root on.
  const double bend = 30.0 * 3.141592653589793 / 180.0, out = 45.0 * 3.141592653589793 / 180.0;
  const std::vector<Band> bands{{60, 225, 60, 100, 4.0},
                                {60, 100, 60 - 28 * std::sin(bend), 100 - 28 * std::cos(bend), 4.0},
                                {60, 100, 60 + 110 * std::sin(out), 100 - 110 * std::cos(out), 2.0}};
  KW_SciDoc doc;
  MeasureBands(doc, bands, 180, true);
  KW_SciDoc bare;
  MeasureBands(bare, bands, 180, false);
  ASSERT_FALSE(HasFatalFailure());
  // Without the shapes: the lateral, to the right.
  EXPECT_GT(bare.root.at(0).main_angle, 10.0);
  // With them: the main root to its own tip, left of the way it came down,
  // and the lateral one of its own.
  const RootTree& tree = doc.root.at(0);
  EXPECT_LT(tree.main_angle, 0.0);
  EXPECT_NEAR(tree.main_length, 125.0 + 28.0, 6.0);
  EXPECT_EQ(tree.nbr_LR, 1);
  const std::vector<double> laterals = LateralLengths(tree);
  ASSERT_EQ(laterals.size(), 1U);
  EXPECT_NEAR(laterals[0], 110.0, 6.0);
}

TEST(RootEndsGeometry, ExtensionsNeedTheShapesAndStopAtTheirEdges) {
  // A band 7 wide along row 10 from column 5 to its tip's centre at 40.
  const int width = 60, height = 21;
  std::vector<bool> bits(static_cast<std::size_t>(width * height), false);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      const double dc = std::max(0.0, c - 40.0);
      bits[static_cast<std::size_t>(c) + static_cast<std::size_t>(r) * static_cast<std::size_t>(width)] =
          c >= 5 && std::hypot(dc, r - 10.0) <= 3.0;
    }
  const ShapeMask shapes{bits, width, height};
  EXPECT_NEAR(DistanceToEdge(shapes, 20, 10, 32), 4.0, 1e-9);
  // A skeleton stopping 3 pixels short of the tip's centre goes on to it.
  const std::vector<ContourPoint> line = rootstest::LinePoints(10, 10, 37, 10);
  EXPECT_NEAR(TipExtension(shapes, line), 3.0, 0.5);
  // At the tip's centre, or past the edge, nothing is added.
  EXPECT_NEAR(TipExtension(shapes, rootstest::LinePoints(10, 10, 40, 10)), 0.0, 0.5);
  EXPECT_EQ(TipExtension(shapes, rootstest::LinePoints(10, 10, 50, 10)), 0.0);
  // Without usable shapes (another picture's size), nothing either.
  const std::vector<bool> other(10, true);
  EXPECT_EQ(TipExtension(ShapeMask{other, width, height}, line), 0.0);
  EXPECT_EQ(BaseExtension(ShapeMask{other, width, height}, line, 5, line), 0.0);
}

TEST(RootEndsAccuracy, LateralsKeepTheirLengthOnGeneratedPlates) {
  // Before the root ends were measured, laterals came out 3.9% short in
  // total at 300 dpi and 2.4% at 600 dpi.
  for (const int dpi : {300, 600}) {
    double measured = 0.0, truth = 0.0;
    for (const std::uint32_t seed : {1U, 2U}) {
      synth::PlateOptions options;
      options.dpi = dpi;
      options.seed = seed;
      const synth::Plate plate = synth::MakePlate(options);
      KW_SciDoc doc;
      doc.pixels = plate.pixels;
      doc.width = plate.width;
      doc.height = plate.height;
      doc.setColourSeed(11U);
      doc.settings.lengths = LengthMode::True;
      doc.settings.minLateralCm = 0.1;
      ASSERT_EQ(doc.MeasurePlate(), KW_SciDoc::kPlateMeasured);
      doc.scale = static_cast<float>(plate.cmPerPixel);
      ASSERT_GE(doc.DropShortLaterals(), 0);
      ASSERT_EQ(doc.root.size(), plate.plants.size());
      for (std::size_t i = 0; i < plate.plants.size(); ++i) {
        const std::vector<double> lengths = LateralLengths(doc.root[i]);
        ASSERT_EQ(lengths.size(), plate.plants[i].laterals.size()) << dpi << " dpi, plant " << i;
        for (const double l : lengths) measured += l * plate.cmPerPixel;
        for (const synth::LateralTruth& l : plate.plants[i].laterals) truth += l.lengthCm;
      }
    }
    EXPECT_NEAR(measured / truth, 1.0, 0.01) << dpi << " dpi";
  }
}
